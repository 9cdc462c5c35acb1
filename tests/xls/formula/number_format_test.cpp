// The number-format renderer on its own: sections, signs, colours and HTML, the formats that
// once fell back to a general number (scientific, fractions, elapsed time, sections without
// digits) and the text helpers. tests/xls/io/render_interop_test.cpp holds the comparison with
// LibreOffice over a table of values x formats; pairs of that table are not repeated here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "xls/formula/cell_text/number_format.h"
#include "xls/model/codepage.h"

namespace xls {
namespace {

std::string Show(const Variant& v, const char16_t* format, bool html = false) {
  return WideToUtf8(TXLSFormater().FormatValueEx(v, format, html));
}

TEST(NumberFormat, SectionsSignsAndScaling) {
  EXPECT_EQ(Show(1234.5, u"#,##0.00"), "1,234.50");
  EXPECT_EQ(Show(-5.0, u"0;(0)"), "(5)");
  EXPECT_EQ(Show(-5.0, u"0"), "-5");
  EXPECT_EQ(Show(0.0, u"0;-0;\"zero\""), "zero");
  EXPECT_EQ(Show(2.675, u"0.00"), "2.68");  // rounds as the number reads, not as it is stored
  EXPECT_EQ(Show(1234567.0, u"#,##0,"), "1,235");
  EXPECT_EQ(Show(1234567.0, u"0.0,,\"M\""), "1.2M");
  EXPECT_EQ(Show(5551234.0, u"000-0000"), "555-1234");
  EXPECT_EQ(Show(12.0, u"\\$0.00_)"), "$12.00 ");
  EXPECT_EQ(Show(150.0, u"[>=100]\"big\";[<0]\"neg\";\"small\""), "big");
  EXPECT_EQ(Show(-3.0, u"[>=100]\"big\";[<0]\"neg\";\"small\""), "neg");
  EXPECT_EQ(Show(7.0, u"[>=100]\"big\";[<0]\"neg\";\"small\""), "small");
  EXPECT_EQ(Show(1.5, u"[$EUR-407] 0.00"), "EUR 1.50");
}

TEST(NumberFormat, SectionsWithoutDigitsShowNoNumber) {
  EXPECT_EQ(Show(42.0, u"\"Total\""), "Total");
  EXPECT_EQ(Show(0.0, u"0;-0;"), "");
  EXPECT_EQ(Show(42.0, u"[Red]General"), "42");
  EXPECT_EQ(Show(42.5, u"\"n=\"General"), "n=42.5");
}

TEST(NumberFormat, ScientificFractionsAndElapsedTime) {
  EXPECT_EQ(Show(12345.678, u"0.00E+00"), "1.23E+04");
  EXPECT_EQ(Show(0.000123, u"0.00E+00"), "1.23E-04");
  EXPECT_EQ(Show(12345.0, u"0.0E-0"), "1.2E4");
  EXPECT_EQ(Show(12345.0, u"##0.0E+0"), "12.3E+3");
  EXPECT_EQ(Show(9.996, u"0.00E+00"), "1.00E+01");
  EXPECT_EQ(Show(1.25, u"# ?/?"), "1 1/4");
  EXPECT_EQ(Show(0.333, u"# ?\?/??"), "  1/3 ");
  EXPECT_EQ(Show(3.14159265, u"# ??\?/???"), "3  16/113");
  EXPECT_EQ(Show(1.25, u"?/?"), "5/4");
  EXPECT_EQ(Show(-1.5, u"# ?/?"), "-1 1/2");
  EXPECT_EQ(Show(2.0, u"# ?/?"), "2    ");
  EXPECT_EQ(Show(0.4, u"# ?/8"), " 3/8");
  EXPECT_EQ(Show(2.07, u"# ?\?/100"), "2  7/100");
  EXPECT_EQ(Show(1.5 + 1.0 / 86400, u"[h]:mm:ss"), "36:00:01");
  EXPECT_EQ(Show(1.0 / 24, u"[mm]:ss"), "60:00");
  EXPECT_EQ(Show(-0.5, u"[h]:mm"), "-12:00");
}

// Values no integer holds: the digits a plain format shows, never a wrapped-around integer.
TEST(NumberFormat, NumbersBeyondIntegers) {
  EXPECT_EQ(Show(1e19, u"# ?/?"), "10000000000000000000    ");
  EXPECT_EQ(Show(-1e19, u"# ?/?"), "-10000000000000000000    ");  // as LibreOffice shows it
  EXPECT_EQ(Show(1e19, u"?/?"), "10000000000000000000/1");
  EXPECT_EQ(Show(1e19, u"?/8"), "80000000000000000000/8");
  EXPECT_EQ(Show(4e15 + 0.5, u"?????/?????"), "8000000000000001/2    ");
  EXPECT_EQ(Show(4e15 + 0.5, u"?/99999"), "399996000000000000000/99999");
  EXPECT_EQ(Show(1e307, u"0.0E+0%"), "1.0E+309%");
  EXPECT_EQ(Show(1.7e308, u"0.00E+00%"), "1.70E+310%");
  EXPECT_EQ(Show(5e-324, u"0.0E+0"), "4.9E-324");
  EXPECT_EQ(Show(1e307, u"0%"), "1" + std::string(309, '0') + "%");
  EXPECT_EQ(Show(1.0, u"# ?/12345678901234567890").substr(0, 2), "1 ");  // a denominator of 20 digits
  EXPECT_EQ(Show(1.5, u"hh:mm:ss.000000"), "12:00:00.000000");
  EXPECT_EQ(Show(1e300, u"[h]:mm"), "#");
}

// The fraction of a value in [0, 1) for the largest denominator maxDen, found the slow way: every
// denominator in turn takes its nearest numerator, and a fraction replaces the one so far when
// it comes closer by more than 1e-12. The renderer must pick the same fraction, with the same
// roundings, without trying them all.
std::string EveryDenominator(double frac, long long maxDen) {
  long long num = 0, den = 1;
  double best = 2;
  for (long long d = 1; d <= maxDen; ++d) {
    long long n = std::llround(frac * static_cast<double>(d));
    double err = std::fabs(frac - static_cast<double>(n) / static_cast<double>(d));
    if (err < best - 1e-12) best = err, num = n, den = d;
  }
  return std::to_string(num) + "/" + std::to_string(den);
}

TEST(NumberFormat, FractionsAsIfEveryDenominatorWasTried) {
  EXPECT_EQ(Show(0.3, u"#/#"), "2/7");  // not 1/3, which the continued fraction of 0.3 gives first
  EXPECT_EQ(Show(0.5, u"#/##"), "1/2");
  EXPECT_EQ(Show(0.0, u"#/#####"), "0/1");
  EXPECT_EQ(Show(4e-6, u"#/#####"), "0/1");
  EXPECT_EQ(Show(0.99999, u"#/####"), "1/1");
  EXPECT_EQ(Show(0.99999, u"#/#####"), "99998/99999");  // 99999/100000 is out of reach
  EXPECT_EQ(Show(std::acos(-1.0) - 3, u"#/#####"), "14093/99532");

  std::vector<double> values = {std::acos(-1.0) - 3, std::exp(1.0) - 2, std::sqrt(2.0) - 1, (std::sqrt(5.0) - 1) / 2,
                                0.333, 0.1, 0.2, 0.7, 1 - std::ldexp(1.0, -53), std::ldexp(1.0, -1074)};
  auto around = [&](double x, int steps) {
    values.push_back(x);
    double up = x, down = x;
    for (int k = 0; k < steps; ++k) {
      values.push_back(up = std::nextafter(up, 2.0));
      values.push_back(down = std::nextafter(down, -1.0));
    }
  };
  // Exact fractions, next to them and a little off them.
  for (int q = 1; q <= 12; ++q)
    for (int p = 0; p <= q; ++p) {
      const double x = static_cast<double>(p) / q;
      around(x, 1);
      for (double off : {1e-6, 3e-9, 1e-12, 5e-13}) values.push_back(x + off), values.push_back(x - off);
    }
  // Half-way between neighbouring fractions, where two denominators come equally close, and a
  // little off half-way, where the two distances differ by about the 1e-12 that counts.
  for (int q = 2; q <= 9; ++q)
    for (int p = 1; p < q; ++p) {
      const double mid = (static_cast<double>(p) / q + static_cast<double>(p + 1) / (q + 1)) / 2;
      around(mid, 1);
      for (double off : {5e-13, 1e-12}) values.push_back(mid + off), values.push_back(mid - off);
    }
  // The smallest values that round to something else than 0 for a denominator, and values close
  // to 1.
  for (double maxDen : {9.0, 99.0, 999.0, 9999.0, 99999.0}) around(0.5 / maxDen, 2), around(1 - 0.5 / maxDen, 2);
  for (double off : {1e-3, 1e-5, 1e-6, 1e-9}) values.push_back(1 - off);
  // Arbitrary values, evenly and spread over the magnitudes, and values of long and short runs.
  std::mt19937_64 random(20240131);
  auto unit = [&] { return std::ldexp(static_cast<double>(random() >> 11), -53); };
  for (int k = 0; k < 60; ++k) values.push_back(unit()), values.push_back(std::exp(-14 * unit()));
  for (int k = 0; k < 60; ++k) {
    double x = 0;
    for (int n = 0; n < 8; ++n) {
      const std::uint64_t largest = random() % 4 == 0 ? 2000 : 4;
      x = 1 / (static_cast<double>(1 + random() % largest) + x);
    }
    values.push_back(x);
  }

  const char16_t* const formats[] = {u"#/#", u"#/##", u"#/###", u"#/####", u"#/#####"};
  const long long maxDens[] = {9, 99, 999, 9999, 99999};
  int checked = 0, wrong = 0;
  std::string firstWrong;
  for (size_t i = 0; i < values.size(); ++i) {
    const double v = values[i];
    if (!(v >= 0 && v < 1)) continue;
    for (int k = 0; k < 5; ++k) {
      if (k == 4 && i % 3 != 0) continue;  // trying every one of 99999 denominators is slow
      const std::string expected = EveryDenominator(v, maxDens[k]);
      const std::string shown = Show(v, formats[k]);
      ++checked;
      if (shown != expected && wrong++ == 0) {
        char value[40];
        std::snprintf(value, sizeof value, "%a", v);
        firstWrong = std::string(value) + " up to " + std::to_string(maxDens[k]) + ": " + shown + " instead of " + expected;
      }
    }
  }
  EXPECT_GT(checked, 2000);
  EXPECT_EQ(wrong, 0) << "first: " << firstWrong;
}

// A clock time is rounded to the places of a second shown, at most three; places past the third
// show zeros.
TEST(NumberFormat, FractionsOfASecondStopAtTheMillisecond) {
  const double t = 0.5 + 56.1274 / 86400;  // 12:00:56.1274
  EXPECT_EQ(Show(t, u"hh:mm:ss.000"), "12:00:56.127");
  EXPECT_EQ(Show(t, u"hh:mm:ss.0000"), "12:00:56.1270");
  EXPECT_EQ(Show(t, u"ss.00000"), "56.12700");
  EXPECT_EQ(Show(t, u"ss.00"), "56.13");
}

// What the format's own program shows (LibreOffice parts from it on the last two): an "m" after
// hours or before seconds is minutes whatever separates them; the decimal point shows without
// fraction digits (LibreOffice: "4%"); a clock time rounds to the second shown, into the next day
// (LibreOffice's TEXT keeps 23:59:59 in hh:mm:ss).
TEST(NumberFormat, MinutesDecimalPointsAndRoundedSeconds) {
  EXPECT_EQ(Show(0.655, u"hh.mm"), "15.43");
  EXPECT_EQ(Show(0.655, u"h \\h mm"), "15 h 43");
  EXPECT_EQ(Show(0.5 + 90 / 86400.0, u"mm.ss"), "01.30");
  EXPECT_EQ(Show(0.655, u"mm dd hh"), "01 00 15");  // a day between: the month (of serial 0)
  EXPECT_EQ(Show(0.04, u"###.##%"), "4.%");
  EXPECT_EQ(Show(4.0, u"#,##0.##"), "4.");
  EXPECT_EQ(Show(0.0, u"#.##"), ".");
  const double late = 1 + (86399.6 / 86400);  // 1900-01-01 23:59:59.6
  EXPECT_EQ(Show(late, u"hh:mm:ss"), "00:00:00");
  EXPECT_EQ(Show(late, u"yyyy-mm-dd hh:mm:ss"), "1900-01-02 00:00:00");
  EXPECT_EQ(Show(late, u"hh:mm:ss.0"), "23:59:59.6");
  EXPECT_EQ(Show(late, u"dd/mm/yyyy"), "01/01/1900");  // a date alone: the day the value lies in
  EXPECT_EQ(Show(0.5 + 59.6 / 86400, u"h:mm"), "12:01");  // rounded to the second, then cut
  EXPECT_EQ(Show(0.5 + 59.4 / 86400, u"h:mm"), "12:00");
}

TEST(NumberFormat, DatesAndTimes) {
  const double d = 45322.75;  // 2024-01-31 18:00
  EXPECT_EQ(Show(d, u"dddd, mmmm d, yy"), "Wednesday, January 31, 24");
  EXPECT_EQ(Show(d, u"ddd mmm mmmmm"), "Wed Jan J");
  EXPECT_EQ(Show(d - 0.5, u"hh:mm a/p"), "06:00 a");
  EXPECT_EQ(Show(d + 1.5 / 86400, u"mm:ss.0"), "00:01.5");
  EXPECT_EQ(Show(-d, u"dd/mm/yyyy;0"), Show(-d, u"dd/mm/yyyy"));  // a date format keeps its first section
  EXPECT_TRUE(TXLSFormater::IsDateFormat(u"yyyy-mm-dd"));
  EXPECT_FALSE(TXLSFormater::IsDateFormat(u"0.00\"mm\""));
}

// A number is a serial of the format's own program: 0 is "1900-01-00", 1 1900-01-01, 60 the
// 29 February 1900 it counts; a date variant is a date value of the proleptic calendar. The two
// meet at 61, 1900-03-01. The year code e is the year.
TEST(NumberFormat, SerialsBeforeMarch1900AndTheYearCodeE) {
  const std::pair<double, const char*> serials[] = {{0, "1900-01-00 Sat"}, {1, "1900-01-01 Sun"},
                                                    {59.75, "1900-02-28 Tue"}, {60, "1900-02-29 Wed"},
                                                    {61, "1900-03-01 Thu"}, {-1, "1899-12-29 Fri"}};
  for (const auto& [serial, shown] : serials) EXPECT_EQ(Show(serial, u"yyyy-mm-dd ddd"), shown) << serial;
  EXPECT_EQ(Show(Variant::Date(60.0), u"yyyy-mm-dd"), "1900-02-28");
  EXPECT_EQ(Show(Variant::Date(1.5), u"d/m/yyyy h:mm"), "31/12/1899 12:00");
  EXPECT_EQ(Show(Variant::Date(61.0), u"yyyy-mm-dd"), Show(61.0, u"yyyy-mm-dd"));
  EXPECT_EQ(Show(28313.0, u"e-mm-dd"), "1977-07-07");
  EXPECT_EQ(Show(28313.0, u"d.m.ee"), "7.7.1977");
  EXPECT_EQ(Show(28313.0, u"0.0E+0"), "2.8E+4");
}

TEST(NumberFormat, OtherValuesAndHtml) {
  EXPECT_EQ(Show(false, u"0.00", true), "False");
  EXPECT_EQ(Show(Variant(), u"0.00"), "");
  EXPECT_EQ(Show(Variant(), u"0.00", true), "&nbsp;");
  EXPECT_EQ(Show(Variant(u"a&b"), u"0.00", true), "a&amp;b");
  EXPECT_EQ(Show(Variant(u"abc"), u"0;0;0;\"<\"@\">\"", true), "&lt;abc&gt;");
  EXPECT_EQ(Show(Variant(u"abc"), u"\"Name: \"@"), "Name: abc");
  EXPECT_EQ(Show(3.0, u"[red]0", true), "<font color=\"red\">3</font>");
  EXPECT_EQ(Show(3.0, u"[red]0"), "3");
  EXPECT_EQ(Show(1.5, u"General"), "1.5");
  EXPECT_EQ(Show(1.5, u"@"), "1.5");
  EXPECT_EQ(Show(1e20, u""), "1E+20");
  EXPECT_EQ(Show(0.1 + 0.2, u""), "0.3");
  EXPECT_EQ(Show(Variant::Error(7), u"0"), "#DIV/0!");
}

TEST(NumberFormat, TextHelpers) {
  EXPECT_EQ(WideToUtf8(TXLSFormater::ProperCase(u"hELLO wORLD-x")), "Hello World-X");
  EXPECT_EQ(WideToUtf8(TXLSFormater::ProperCase(u"\u0444\u0438\u0422 2abc")), "\u0424\u0438\u0442 2Abc");
  EXPECT_EQ(WideToUtf8(TXLSFormater::UpperCase(u"stra\u00dfe \u00e9t\u00e9")), "STRA\u00dfE \u00c9T\u00c9");
  EXPECT_EQ(WideToUtf8(TXLSFormater::LowerCase(u"\u0391\u0392 \u0178")), "\u03b1\u03b2 \u00ff");
  EXPECT_EQ(WideToUtf8(TXLSFormater::MapDateLetters(u"\u0434\u0434.\u041c\u041c.\u0433\u0433 \"\u0434\" \u0447:\u043c:\u0441")),
            "DD.MM.YY \"\u0434\" h:m:s");
  EXPECT_EQ(WideToUtf8(TXLSFormater::MapDateLetters(u"\u0414")), "D");  // upper-case form of the day letter
  EXPECT_EQ(WideToUtf8(TXLSFormater::HtmlEscape(u"a<b>\"c\"&\r\nd\re")), "a&lt;b&gt;&quot;c&quot;&amp;<br>d<br>e");
}

}  // namespace
}  // namespace xls

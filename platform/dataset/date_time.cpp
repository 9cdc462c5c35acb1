#include "platform/dataset/date_time.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace dataset {
namespace {

// Days from 1970-01-01 for a civil date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

const std::int64_t kEpoch1899 = DaysFromCivil(1899, 12, 30);

bool ReadInt(const std::string& s, std::size_t& i, int maxDigits, int& value) {
  std::size_t start = i;
  value = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])) && i - start < static_cast<std::size_t>(maxDigits)) {
    value = value * 10 + (s[i] - '0');
    ++i;
  }
  return i > start;
}

}  // namespace

bool ValidDate(int year, int month, int day) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  int limit = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  return day <= limit;
}

double EncodeDate(int year, int month, int day) {
  return static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpoch1899);
}

double EncodeTime(int hour, int minute, int second, int ms) {
  return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + ms) / kMsPerDay;
}

void DecodeDate(double dateTime, int& year, int& month, int& day) {
  TimeStamp ts = DateTimeToTimeStamp(dateTime);
  CivilFromDays(static_cast<std::int64_t>(ts.Date) - kDateDelta + kEpoch1899, year, month, day);
}

void DecodeTime(double dateTime, int& hour, int& minute, int& second, int& ms) {
  TimeStamp ts = DateTimeToTimeStamp(dateTime);
  int t = ts.Time;
  hour = t / 3600000;
  minute = t / 60000 % 60;
  second = t / 1000 % 60;
  ms = t % 1000;
}

bool ValidDateNumber(std::int32_t date) { return date >= 1 && date <= kMaxDateNumber; }

bool ValidTimeNumber(std::int32_t time) { return time >= 0 && time < static_cast<std::int32_t>(kMsPerDay); }

bool ValidDateTimeMSecs(double msecs) { return msecs >= kMsPerDay && msecs < (kMaxDateNumber + 1.0) * kMsPerDay; }

TimeStamp DateTimeToTimeStamp(double dateTime) {
  if (!(dateTime >= kMinDateTime && dateTime < kMaxDateTime))
    throw DateRangeError("Date and time value out of range (years 1 to 9999)");
  // Whole milliseconds first, so that a time a hair below midnight does not round to
  // the wrong day.
  double totalMs = std::round(dateTime * kMsPerDay);
  double days = std::floor(totalMs / kMsPerDay);
  TimeStamp ts;
  ts.Date = static_cast<std::int32_t>(days) + kDateDelta;
  ts.Time = static_cast<std::int32_t>(totalMs - days * kMsPerDay);
  return ts;
}

double TimeStampToDateTime(const TimeStamp& ts) {
  return static_cast<double>(ts.Date - kDateDelta) + ts.Time / kMsPerDay;
}

double TimeStampToMSecs(const TimeStamp& ts) { return ts.Date * kMsPerDay + ts.Time; }

TimeStamp MSecsToTimeStamp(double msecs) {
  if (!ValidDateTimeMSecs(msecs)) throw DateRangeError("Date and time value out of range (years 1 to 9999)");
  TimeStamp ts;
  double days = std::floor(msecs / kMsPerDay);
  ts.Date = static_cast<std::int32_t>(days);
  ts.Time = static_cast<std::int32_t>(msecs - days * kMsPerDay);
  return ts;
}

bool ParseDateTimeText(const std::string& text, double& dateTime) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  double result = 0;
  int a = 0;
  std::size_t save = i;
  if (!ReadInt(text, i, 4, a)) return false;
  bool haveDate = false;
  if (i < text.size() && text[i] == '-') {
    int m = 0, d = 0;
    ++i;
    if (!ReadInt(text, i, 2, m) || i >= text.size() || text[i] != '-') return false;
    ++i;
    if (!ReadInt(text, i, 2, d) || !ValidDate(a, m, d)) return false;
    result = EncodeDate(a, m, d);
    haveDate = true;
    while (i < text.size() && (text[i] == ' ' || text[i] == 'T')) ++i;
    save = i;
    if (i == text.size()) {
      dateTime = result;
      return true;
    }
    if (!ReadInt(text, i, 2, a)) return false;
  }
  (void)save;
  int h = a, n = 0, s = 0, ms = 0;
  if (i >= text.size() || text[i] != ':') return false;
  ++i;
  if (!ReadInt(text, i, 2, n)) return false;
  if (i < text.size() && text[i] == ':') {
    ++i;
    if (!ReadInt(text, i, 2, s)) return false;
    if (i < text.size() && text[i] == '.') {
      ++i;
      if (!ReadInt(text, i, 3, ms)) return false;
    }
  }
  while (i < text.size() && text[i] == ' ') ++i;
  if (i != text.size() || h > 23 || n > 59 || s > 59) return false;
  double t = EncodeTime(h, n, s, ms);
  dateTime = haveDate ? result + (result < 0 ? -t : t) : t;
  return true;
}

std::string FormatDateTimeText(double dateTime) {
  int y, m, d, h, n, s, ms;
  DecodeDate(dateTime, y, m, d);
  DecodeTime(dateTime, h, n, s, ms);
  char buf[64];
  if (h == 0 && n == 0 && s == 0 && ms == 0)
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  else
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d, h, n, s);
  return buf;
}

bool ParseWithFormat(const std::string& text, const std::string& format, double& dateTime) {
  int y = 1899, mo = 12, d = 30, h = 0, n = 0, s = 0;
  bool date = false;
  std::size_t ti = 0, fi = 0;
  while (fi < format.size()) {
    char f = static_cast<char>(std::tolower(static_cast<unsigned char>(format[fi])));
    if (f == 'y' || f == 'm' || f == 'd' || f == 'h' || f == 'n' || f == 's') {
      std::size_t run = 0;
      while (fi < format.size() && std::tolower(static_cast<unsigned char>(format[fi])) == f) ++fi, ++run;
      int v = 0;
      if (!ReadInt(text, ti, f == 'y' ? 4 : 2, v)) return false;
      switch (f) {
        case 'y': y = run <= 2 && v < 100 ? 2000 + v : v; date = true; break;
        case 'm': mo = v; date = true; break;
        case 'd': d = v; date = true; break;
        case 'h': h = v; break;
        case 'n': n = v; break;
        default: s = v; break;
      }
    } else {
      if (ti >= text.size() || text[ti] != format[fi]) return false;
      ++ti;
      ++fi;
    }
  }
  if (ti != text.size() || h > 23 || n > 59 || s > 59 || !ValidDate(y, mo, d)) return false;
  dateTime = (date ? EncodeDate(y, mo, d) : 0) + EncodeTime(h, n, s, 0);
  return true;
}

double Now() {
  using namespace std::chrono;
  auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  return static_cast<double>(ms) / kMsPerDay + static_cast<double>(DaysFromCivil(1970, 1, 1) - kEpoch1899);
}

}  // namespace dataset

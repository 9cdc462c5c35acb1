#include "xls/model/string_table.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace xls {
namespace {

struct Record {
  std::uint16_t id;
  std::uint32_t start;  // stream offset of the header
  std::vector<std::uint8_t> data;
};

std::vector<std::uint8_t> Flatten(const TXLSBlobList& list) {
  platform::MemoryStream out;
  EXPECT_EQ(list.WriteToStream(out), 1);
  return out.Bytes();
}

std::vector<Record> Records(const std::vector<std::uint8_t>& bytes, std::uint32_t base) {
  std::vector<Record> recs;
  std::size_t p = 0;
  while (p + 4 <= bytes.size()) {
    std::uint16_t id = static_cast<std::uint16_t>(bytes[p] | (bytes[p + 1] << 8));
    std::uint16_t len = static_cast<std::uint16_t>(bytes[p + 2] | (bytes[p + 3] << 8));
    EXPECT_LE(p + 4 + len, bytes.size());
    recs.push_back({id, static_cast<std::uint32_t>(base + p),
                    std::vector<std::uint8_t>(bytes.begin() + static_cast<long>(p) + 4,
                                              bytes.begin() + static_cast<long>(p + 4 + len))});
    p += 4 + len;
  }
  EXPECT_EQ(p, bytes.size());
  return recs;
}

// Reads the strings back the way a BIFF8 reader does: a string may continue in the next
// CONTINUE record, which then begins with a fresh option byte (8-bit or 16-bit characters).
std::vector<std::u16string> ReadSST(const std::vector<Record>& recs, std::uint32_t& total, std::uint32_t& unique) {
  std::vector<std::u16string> out;
  EXPECT_EQ(recs.at(0).id, 0x00FC);
  const auto& d0 = recs[0].data;
  total = d0[0] | d0[1] << 8 | d0[2] << 16 | static_cast<std::uint32_t>(d0[3]) << 24;
  unique = d0[4] | d0[5] << 8 | d0[6] << 16 | static_cast<std::uint32_t>(d0[7]) << 24;
  std::size_t r = 0, p = 8;
  auto byte = [&]() -> std::uint8_t {
    if (p >= recs[r].data.size()) {
      ++r;
      p = 0;
      EXPECT_EQ(recs.at(r).id, 0x003C);
    }
    return recs[r].data[p++];
  };
  for (std::uint32_t s = 0; s < unique; ++s) {
    std::uint32_t len = byte();
    len |= byte() << 8;
    std::uint8_t option = byte();
    std::u16string text;
    while (text.size() < len) {
      if (p >= recs[r].data.size()) {
        ++r;
        p = 0;
        EXPECT_EQ(recs.at(r).id, 0x003C);
        option = recs[r].data[p++];  // a continued part begins with its own option byte
      }
      if (option & 1) {
        EXPECT_LE(p + 2, recs[r].data.size()) << "a character is split between records";
        char16_t c = static_cast<char16_t>(recs[r].data[p] | recs[r].data[p + 1] << 8);
        p += 2;
        text.push_back(c);
      } else {
        text.push_back(recs[r].data[p++]);
      }
    }
    out.push_back(text);
  }
  return out;
}

TEST(StringTable, UsesFreeIndexesAndCounts) {
  TXLSStringTable t;
  std::int32_t a = t.Add(u"A");
  EXPECT_EQ(t.Add(u"A"), a);
  EXPECT_EQ(t.Add(u"A"), a);
  EXPECT_EQ(t.GetUseCount(a), 3);
  EXPECT_EQ(t.TotalUses(), 3);
  EXPECT_EQ(t.DistinctStrings(), 1);
  std::int32_t b = t.Add(u"B"), c = t.Add(u"C");
  EXPECT_EQ(b, 2);
  EXPECT_EQ(c, 3);
  for (int i = 0; i < 3; ++i) t.Release(a);
  t.Release(b);
  EXPECT_EQ(t.FreeCount(), 2);
  EXPECT_EQ(t.Add(u"D"), 2);  // last freed first
  EXPECT_EQ(t.Add(u"E"), 1);
  EXPECT_EQ(t.GetString(1), u"E");
  EXPECT_EQ(t.IndexOf(u"A"), -1);
  t.Release(3);
  EXPECT_EQ(t.Count(), 2);  // the highest index lowers the count instead
  EXPECT_EQ(t.GetString(3), u"");
  EXPECT_EQ(t.GetSSTPosition(3), -1);
  EXPECT_EQ(t.TotalUses(), 2);
  EXPECT_EQ(t.DistinctStrings(), 2);
}

TEST(StringTable, ReleasingAFreeIndexCannotHandItOutTwice) {
  TXLSStringTable t;
  t.Add(u"A");
  t.Add(u"B");
  t.Release(1);
  t.Release(1);  // a second release of the same index is ignored
  EXPECT_EQ(t.FreeCount(), 1);
  EXPECT_EQ(t.TotalUses(), 1);
  std::int32_t x = t.Add(u"X"), y = t.Add(u"Y");
  EXPECT_NE(x, y);
  EXPECT_EQ(t.GetString(x), u"X");
  EXPECT_EQ(t.GetString(y), u"Y");
  t.MoveUse(y, 99);  // a target that is not in use gains nothing
  EXPECT_EQ(t.GetString(y), u"");
  t.MoveUse(0, x);
  EXPECT_EQ(t.GetUseCount(x), 2);
}

TEST(StringTable, PagesGrowAndShrinkWithSlack) {
  TXLSStringTable t;
  for (int i = 0; i < 450; ++i) t.Add(u"s" + std::u16string(1, static_cast<char16_t>(0x100 + i)));
  EXPECT_EQ(t.AllocatedItems(), 500);
  for (int i = 450; i >= 1; --i) t.Release(i);
  EXPECT_EQ(t.Count(), 0);
  EXPECT_LE(t.AllocatedItems(), 200);
  EXPECT_EQ(t.Add(u"again"), 1);
}

// Texts share blocks of characters; dropping most of them packs the rest together, and
// UseAgain counts an index only while it holds the text it held under that serial.
TEST(StringTable, TextsSurvivePackingAndUseAgainChecksTheSerial) {
  TXLSStringTable t;
  t.Reserve(3000);
  std::vector<std::u16string> texts;
  std::vector<std::int32_t> indexes;
  std::vector<std::uint32_t> serials;
  for (int i = 0; i < 3000; ++i) {
    const std::string digits = std::to_string(i);
    texts.push_back(u"text number " + std::u16string(digits.begin(), digits.end()) +
                    std::u16string(static_cast<std::size_t>(i % 17), u'x'));
    indexes.push_back(t.Add(texts.back()));
    serials.push_back(t.SerialOf(indexes.back()));
  }
  const std::u16string longText(20000, u'L');
  const std::int32_t longIndex = t.Add(longText.data(), longText.size());
  for (int i = 0; i < 3000; ++i)
    if (i % 10 != 0) t.Release(indexes[static_cast<std::size_t>(i)]);
  for (int i = 0; i < 3000; i += 10) {
    EXPECT_EQ(t.GetString(indexes[static_cast<std::size_t>(i)]), texts[static_cast<std::size_t>(i)]);
    EXPECT_EQ(t.IndexOf(texts[static_cast<std::size_t>(i)]), indexes[static_cast<std::size_t>(i)]);
  }
  EXPECT_EQ(t.GetString(longIndex), longText);
  EXPECT_EQ(t.DistinctStrings(), 301);
  // A dropped text comes back at a free index; the texts added after the packing read right.
  const std::int32_t back = t.Add(texts[1]);
  EXPECT_EQ(t.GetString(back), texts[1]);
  EXPECT_TRUE(t.UseAgain(back, t.SerialOf(back)));
  EXPECT_EQ(t.GetUseCount(back), 2);
  // The index the text came back at held another text before: its old serial names nothing.
  const auto before = std::find(indexes.begin(), indexes.end(), back);
  ASSERT_NE(before, indexes.end());
  EXPECT_FALSE(t.UseAgain(back, serials[static_cast<std::size_t>(before - indexes.begin())]));
  EXPECT_EQ(t.SerialOf(indexes[2]), 0u);  // freed
  EXPECT_FALSE(t.UseAgain(indexes[2], serials[2]));
  EXPECT_FALSE(t.UseAgain(back, 0));
  EXPECT_TRUE(t.UseAgain(indexes[10], serials[10]));
  EXPECT_EQ(t.GetUseCount(back), 2);
  EXPECT_EQ(t.TotalUses(), 304);
}

TEST(StringTable, CellTextsAreCutAtTheCellLimit) {
  TXLSStringTable t;
  std::int32_t i = t.Add(std::u16string(40000, u'x'));
  EXPECT_EQ(t.GetString(i).size(), 32767u);
  EXPECT_EQ(t.IndexOf(std::u16string(40000, u'x')), i);
}

TEST(StringTable, NoStringsWriteNothing) {
  TXLSStringTable t;
  t.Release(t.Add(u"gone"));
  TXLSBlobList out;
  EXPECT_EQ(t.WriteSST(out, 100), 1);
  EXPECT_EQ(out.TotalSize(), 0u);
}

TEST(StringTable, LongStringSplitsAtWholeCharacters) {
  for (bool wide : {false, true}) {
    TXLSStringTable t;
    std::u16string s;
    for (int i = 0; i < 5000; ++i) s.push_back(static_cast<char16_t>((wide ? 0x400 : 'a') + i % 26));
    t.Add(s);
    t.NumberStrings();
    TXLSBlobList out;
    t.WriteSST(out, 0);
    auto recs = Records(Flatten(out), 0);
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[0].data.size(), 8u + 3 + 2 * 4106);
    EXPECT_EQ(recs[1].id, 0x003C);
    EXPECT_EQ(recs[1].data.size(), 1u + 2 * 894);
    EXPECT_EQ(recs[1].data[0], 0x01);
    std::uint32_t total, unique;
    auto strings = ReadSST({recs[0], recs[1]}, total, unique);
    EXPECT_EQ(total, 1u);
    EXPECT_EQ(unique, 1u);
    EXPECT_EQ(strings.at(0), s);
    EXPECT_EQ(recs[2].id, 0x00FF);
  }
}

TEST(StringTable, StringMeetingFewerThanFiveFreeBytesStartsInTheNextRecord) {
  TXLSStringTable t;
  // 12 header bytes + 3 + 2 x 4104 leaves 8228 - 8223 = 5 bytes; make it 4.
  std::u16string first(4104, u'f');
  first.push_back(u'g');  // one more character: 3 bytes free
  t.Add(first);
  t.Add(u"second");
  t.NumberStrings();
  TXLSBlobList out;
  t.WriteSST(out, 0);
  auto recs = Records(Flatten(out), 0);
  ASSERT_GE(recs.size(), 2u);
  EXPECT_EQ(recs[0].data.size(), 8u + 3 + 2 * 4105);
  EXPECT_EQ(recs[1].id, 0x003C);
  EXPECT_EQ(recs[1].data[0], 6);  // whole string with its length field
  EXPECT_EQ(recs[1].data[1], 0);
  EXPECT_EQ(recs[1].data[2], 1);
  std::uint32_t total, unique;
  auto strings = ReadSST({recs[0], recs[1]}, total, unique);
  EXPECT_EQ(strings.at(1), u"second");
}

TEST(StringTable, ManyStringsAcrossRecordsWithSmallLimitAndExtSST) {
  for (std::uint16_t limit : {std::uint16_t(2080), std::uint16_t(64)}) {
    TXLSStringTable t;
    t.SetRecordLimit(limit);
    std::vector<std::u16string> texts;
    for (int i = 0; i < 300; ++i) {
      std::u16string s = u"text " + std::u16string(static_cast<std::size_t>(i % 37), static_cast<char16_t>(i % 2 ? 0x263A : 'z'));
      s += static_cast<char16_t>(0x4E00 + i);  // keeps them distinct
      texts.push_back(s);
      t.Add(s);
    }
    t.Add(texts[5]);
    t.NumberStrings();
    EXPECT_EQ(t.GetSSTPosition(t.IndexOf(texts[7])), 7);
    const std::uint32_t base = 1000;
    TXLSBlobList out;
    t.WriteSST(out, base);
    auto bytes = Flatten(out);
    auto recs = Records(bytes, base);
    std::vector<Record> sst, ext;
    for (const auto& r : recs) {
      EXPECT_LE(r.data.size(), limit);
      (ext.empty() && r.id != 0x00FF ? sst : ext).push_back(r);
    }
    std::uint32_t total, unique;
    auto strings = ReadSST(sst, total, unique);
    EXPECT_EQ(total, 301u);
    EXPECT_EQ(unique, 300u);
    EXPECT_EQ(strings, texts);

    // EXTSST: one entry per 8 strings, pointing at each bucket's first string's length field
    ASSERT_FALSE(ext.empty());
    std::vector<std::uint8_t> entries;
    for (std::size_t i = 0; i < ext.size(); ++i)
      entries.insert(entries.end(), ext[i].data.begin() + (i == 0 ? 2 : 0), ext[i].data.end());
    EXPECT_EQ(ext[0].data[0], 8);
    ASSERT_EQ(entries.size(), 8u * ((300 + 7) / 8));
    for (std::size_t k = 0; k * 8 < entries.size(); ++k) {
      std::uint32_t pos = entries[8 * k] | entries[8 * k + 1] << 8 | entries[8 * k + 2] << 16 |
                          static_cast<std::uint32_t>(entries[8 * k + 3]) << 24;
      std::uint16_t offset = static_cast<std::uint16_t>(entries[8 * k + 4] | entries[8 * k + 5] << 8);
      ASSERT_GE(pos, base);
      const std::u16string& s = texts[8 * k];
      EXPECT_EQ(bytes[pos - base], s.size() & 0xFF) << k;
      EXPECT_EQ(bytes[pos - base + 2], 1) << k;
      EXPECT_EQ(bytes[pos - base + 3], s[0] & 0xFF) << k;
      // the offset is measured from the record header that holds the string
      const Record* holder = nullptr;
      for (const auto& r : recs)
        if (r.start <= pos && pos < r.start + 4 + r.data.size()) holder = &r;
      ASSERT_NE(holder, nullptr);
      EXPECT_EQ(offset, pos - holder->start) << k;
    }
  }
}

}  // namespace
}  // namespace xls

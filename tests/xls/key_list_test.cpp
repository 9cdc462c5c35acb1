#include "xls/model/key_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "xls/model/font_list.h"
#include "xls/model/num_format_list.h"
#include "xls_test_util.h"

namespace xls {
namespace {

using testing::BlobBytes;
using testing::Concat;
using testing::Utf16;

TEST(KeyList, InternMovesOneUseAndKeepsUsedCount) {
  TXLSKeyList list;  // base 1, no fixed entries
  std::int32_t a = list.Intern(0, u"A");
  EXPECT_EQ(a, 1);
  EXPECT_EQ(list.GetUseCount(a), 1);
  EXPECT_EQ(list.Intern(a, u"A"), a);  // same key on its own entry: nothing changes
  EXPECT_EQ(list.GetUseCount(a), 1);
  std::int32_t b = list.Intern(a, u"B");
  EXPECT_EQ(b, 2);
  EXPECT_EQ(list.GetUseCount(a), 0);
  EXPECT_EQ(list.GetUseCount(b), 1);
  EXPECT_EQ(list.UsedCount(), 1);
  EXPECT_EQ(list.Intern(0, u"B"), b);
  EXPECT_EQ(list.GetUseCount(b), 2);
  list.MoveUse(b, a);
  EXPECT_EQ(list.GetUseCount(a), 1);
  EXPECT_EQ(list.UsedCount(), 2);
  list.Compact();
  EXPECT_EQ(list.GetOutputIndex(a), 1);
  EXPECT_EQ(list.GetOutputIndex(b), 2);
  EXPECT_EQ(list.GetOutputIndex(99), 0);
  EXPECT_EQ(list.GetKey(99), list.DefaultKey());
  list.MoveUse(a, b);
  list.Compact();
  EXPECT_EQ(list.GetOutputIndex(a), 0);
  EXPECT_EQ(list.GetOutputIndex(b), 1);
  ASSERT_EQ(list.OutputOrder().size(), 1u);
  list.ResetUseCounts();
  EXPECT_EQ(list.UsedCount(), 0);
  EXPECT_EQ(list.GetUseCount(b), 0);
  list.MoveUse(b, b);  // a release below zero is not counted
  EXPECT_EQ(list.GetUseCount(b), 1);
}

TEST(KeyList, FixedEntriesAreAlwaysWrittenAndNeverCounted) {
  TXLSFontList fonts;
  for (int i = 0; i < 4; ++i) fonts.SetEntry(i, TXLSFontList::kDefaultKey);
  fonts.SetKeyIndex(TXLSFontList::kDefaultKey, 0);
  EXPECT_EQ(fonts.GetUseCount(0), 0);
  EXPECT_EQ(fonts.Intern(0, TXLSFontList::kDefaultKey), 0);
  EXPECT_EQ(fonts.GetUseCount(0), 0);
  std::int32_t bold = fonts.SetBold(0, true);
  EXPECT_EQ(bold, 4);
  EXPECT_EQ(fonts.GetUseCount(4), 1);
  fonts.Compact();
  EXPECT_EQ(fonts.OutputOrder().size(), 5u);
  fonts.MoveUse(4, 0);
  fonts.Compact();
  EXPECT_EQ(fonts.OutputOrder().size(), 4u);
  EXPECT_EQ(fonts.GetOutputIndex(3), 3);
  TXLSKeyList empty;
  empty.Compact();
  EXPECT_EQ(empty.OutputOrder().size(), 0u);
  EXPECT_EQ(empty.UsedCount(), 0);
}

TEST(KeyList, SetEntryLastWriterOfAKeyWins) {
  TXLSKeyList list;
  list.SetEntry(1, u"K");
  for (int i = 2; i < 14; ++i) list.SetEntry(i, u"X" + IndexKey(i));
  list.SetEntry(14, u"K");
  EXPECT_EQ(list.Find(u"K"), 14);
  EXPECT_EQ(list.Count(), 14);
  for (int i = 15; i < 120; ++i) list.SetEntry(i, u"Y" + IndexKey(i));
  EXPECT_EQ(list.Count(), 119);
  EXPECT_GE(list.Capacity(), 119);
  EXPECT_EQ(list.GetKey(119), u"Y119");
}

TEST(ObjAndStringLists, AddReplaceAndLookups) {
  TXLSObjList objs;
  auto* e1 = new TXLSObjEntry;
  e1->key = u"a";
  EXPECT_EQ(objs.Add(e1), 1);
  auto* e2 = new TXLSObjEntry;
  e2->key = u"a";
  EXPECT_EQ(objs.Add(e2), 1);
  EXPECT_EQ(objs.GetItem(1), e2);
  EXPECT_EQ(objs.GetItem(0), nullptr);
  EXPECT_EQ(objs.GetItem(2), nullptr);
  objs.Clear();
  EXPECT_EQ(objs.Count(), 0);

  TXLSStringList strings;
  EXPECT_EQ(strings.AddOrFind(u"x"), 0);
  EXPECT_EQ(strings.AddOrFind(u"y"), 1);
  EXPECT_EQ(strings.AddOrFind(u"x"), 0);
  strings.PutString(u"z", 70);
  EXPECT_EQ(strings.Count(), 71);
  EXPECT_EQ(strings.GetString(70), u"z");
  EXPECT_EQ(strings.GetString(71), u"");
  EXPECT_EQ(strings.GetString(-1), u"");
  EXPECT_EQ(strings.IndexOf(u"absent"), 0);
  EXPECT_FALSE(strings.Exists(u"absent"));
  strings.SetString(-3, u"q");
  EXPECT_FALSE(strings.Exists(u"q"));
}

TEST(FontList, KeysAttributesAndOutputIndexes) {
  TXLSFontList fonts;
  EXPECT_EQ(TXLSFontList::kDefaultKey.size(), 26u);
  for (int i = 0; i < 4; ++i) fonts.SetEntry(i, TXLSFontList::kDefaultKey);
  std::int32_t bold = fonts.SetBold(0, true);
  std::u16string key = fonts.GetKey(bold);
  std::u16string def = TXLSFontList::kDefaultKey;
  for (std::size_t i = 0; i < def.size(); ++i) EXPECT_EQ(key[i] != def[i], i == 8) << i;
  EXPECT_TRUE(fonts.GetBold(bold));
  fonts.Compact();
  EXPECT_EQ(fonts.GetOutputIndex(bold), 5);  // BIFF font index 4 is skipped
  EXPECT_EQ(fonts.GetOutputIndex(2), 2);

  std::int32_t big = fonts.SetSize(0, 10.5);
  EXPECT_EQ(fonts.GetKey(big).substr(0, 4), u"00D2");
  EXPECT_EQ(fonts.GetSize(big), 10.5);
  EXPECT_EQ(fonts.GetKey(fonts.SetSize(0, 10.025)).substr(0, 4), u"00C8");  // 200.5 to even
  EXPECT_EQ(fonts.GetColor(0), kXlAutomatic);
  std::int32_t red = fonts.SetColor(0, 10);
  EXPECT_EQ(fonts.GetColor(red), 10);
  EXPECT_EQ(fonts.GetKey(fonts.SetColor(red, kXlAutomatic)), def);
  std::int32_t named = fonts.SetName(0, u"Courier New");
  EXPECT_EQ(fonts.GetName(named), u"Courier New");
  std::int32_t under = fonts.SetUnderline(named, 0x22);
  EXPECT_EQ(fonts.GetUnderline(under), 0x22);
  EXPECT_EQ(fonts.GetName(under), u"Courier New");
  EXPECT_EQ(fonts.GetFamily(fonts.SetFamily(0, 2)), 2);
  EXPECT_EQ(fonts.GetCharset(fonts.SetCharset(0, 238)), 238);
  EXPECT_EQ(fonts.GetName(999), u"Arial");  // outside: the default key
}

TEST(FontList, LongNamesAreCutAtTheRecordLimit) {
  TXLSFontList fonts;
  for (int i = 0; i < 4; ++i) fonts.SetEntry(i, TXLSFontList::kDefaultKey);
  std::int32_t f = fonts.SetName(0, std::u16string(300, u'n'));
  EXPECT_EQ(fonts.GetName(f).size(), 255u);
  fonts.Compact();
  auto rec = fonts.BuildFontRecord(4, kBiff8);
  EXPECT_EQ(rec->GetByte(4 + 14), 255);
  EXPECT_EQ(rec->GetWord(2), 16u + 2 * 255);
}

TEST(FontList, FontRecordsByteForByte) {
  TXLSFontList fonts;
  for (int i = 0; i < 4; ++i) fonts.SetEntry(i, TXLSFontList::kDefaultKey);
  std::int32_t f = fonts.SetSuperscript(fonts.SetSubscript(0, true), true);
  f = fonts.SetItalic(f, true);
  f = fonts.SetShadow(fonts.SetOutline(fonts.SetStrikethrough(f, true), true), true);
  f = fonts.SetBold(fonts.SetColor(f, 0), true);
  fonts.Compact();
  std::vector<std::uint8_t> arial8 = {0x31, 0x00, 0x1A, 0x00, 0xC8, 0x00, 0x00, 0x00, 0xFF, 0x7F, 0x90, 0x01,
                                      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x01};
  EXPECT_EQ(BlobBytes(fonts.BuildFontRecord(0, kBiff8)), Concat(arial8, Utf16(u"Arial")));
  std::vector<std::uint8_t> arial5 = {0x31, 0x00, 0x14, 0x00, 0xC8, 0x00, 0x00, 0x00, 0xFF, 0x7F, 0x90, 0x01,
                                      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 'A', 'r', 'i', 'a', 'l'};
  EXPECT_EQ(BlobBytes(fonts.BuildFontRecord(3, kBiff5)), arial5);
  auto rec = fonts.BuildFontRecord(4, kBiff8);
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec->GetWord(6), 0x3A);    // italic, strikeout, outline, shadow
  EXPECT_EQ(rec->GetWord(8), 0x7FFF);  // colour 0 is written as automatic
  EXPECT_EQ(fonts.GetColor(f), 0);
  EXPECT_EQ(rec->GetWord(10), 700);
  EXPECT_EQ(rec->GetWord(12), 3);      // superscript and subscript together
  EXPECT_EQ(fonts.BuildFontRecord(5, kBiff8), nullptr);
}

TEST(NumFormatList, BuiltInsUserFormatsAndDateFlags) {
  TXLSNumFormatList formats;
  EXPECT_EQ(formats.AddOrFind(u"0.00"), 2);
  EXPECT_EQ(formats.AddOrFind(u"General"), 0);
  EXPECT_EQ(formats.Count(), 164);
  EXPECT_EQ(formats.GetString(5).size(), 21u);
  EXPECT_EQ(formats.GetString(5).substr(0, 3), u"\"$\"");
  EXPECT_EQ(formats.GetString(13), u"# ?\?/?\?");
  EXPECT_EQ(formats.AddOrFind(u"0.000"), 164);
  EXPECT_EQ(formats.AddOrFind(u"yyyy-mm-dd"), 165);
  EXPECT_EQ(formats.AddOrFind(u"0.000"), 164);
  EXPECT_TRUE(formats.IsDateIndex(165));
  EXPECT_FALSE(formats.IsDateIndex(164));
  EXPECT_TRUE(TXLSNumFormatList::IsDateText(u"0 \"ss\""));
  EXPECT_FALSE(TXLSNumFormatList::IsDateText(u"#,##0"));
  EXPECT_EQ(formats.GetString(30), u"");
  EXPECT_EQ(formats.GetString(14), u"M/D/YYYY");
  EXPECT_EQ(formats.GetString(22), u"M/D/YYYY h:mm AM/PM");
  for (int i = 0; i < 60; ++i) EXPECT_EQ(formats.IsDateIndex(i), (i >= 14 && i <= 22) || (i >= 45 && i <= 47)) << i;
  // A format record that redefines a built-in index decides its date flag.
  formats.SetString(14, u"0.00");
  formats.SetString(2, u"yyyy");
  EXPECT_FALSE(formats.IsDateIndex(14));
  EXPECT_TRUE(formats.IsDateIndex(2));
  EXPECT_TRUE(formats.IsDateIndex(15));
  EXPECT_EQ(formats.AddOrFind(std::u16string(400, u'0')), 166);
  EXPECT_EQ(formats.GetString(166).size(), 255u);
}

// Built-in date formats 14 and 22 follow LC_TIME (the locales are built from their sources into
// a private folder: the machine need not have them); the C locale stands for none chosen.
TEST(NumFormatList, DateFormatsFollowTheTimeLocale) {
  const std::string saved = std::setlocale(LC_TIME, nullptr);
  const std::string dir = "/tmp/kv_time_locales_" + std::to_string(::getpid());
  ::setenv("LOCPATH", dir.c_str(), 1);
  const struct {
    std::string locale;
    std::u16string date, time;
  } cases[] = {
      {"de_DE", u"DD.MM.YYYY", u"hh:mm"},
      {"en_US", u"MM/DD/YYYY", u"hh:mm AM/PM"},
      {"ja_JP", u"YYYY\"\u5E74\"MM\"\u6708\"DD\"\u65E5\"", u"hh\"\u6642\"mm\"\u5206\""},
      {"C", u"M/D/YYYY", u"h:mm AM/PM"},
  };
  for (const auto& c : cases) {
    const std::string name = c.locale == "C" ? "C" : c.locale + ".UTF-8";
    if (name != "C")
      std::system(("mkdir -p " + dir + " && localedef -i " + c.locale + " -f UTF-8 " + dir + "/" + name + " >/dev/null 2>&1").c_str());
    if (!std::setlocale(LC_TIME, name.c_str())) {
      ADD_FAILURE() << "cannot build the locale " << name;
      continue;
    }
    TXLSNumFormatList formats;
    EXPECT_EQ(formats.GetString(14), c.date) << name;
    EXPECT_EQ(formats.GetString(22), c.date + u" " + c.time) << name;
  }
  std::setlocale(LC_TIME, saved.c_str());
  std::filesystem::remove_all(dir);
}

TEST(NumFormatList, FormatRecordsOnlyForOwnTexts) {
  TXLSNumFormatList formats;
  EXPECT_EQ(formats.BuildFormatRecord(2, kBiff8), nullptr);
  formats.SetString(2, u"0.00");
  EXPECT_TRUE(formats.BuildFormatRecord(2, kBiff8));
  EXPECT_EQ(formats.AddOrFind(u"0.0%x"), 164);
  std::vector<std::uint8_t> head = {0x1E, 0x04, 0x0F, 0x00, 0xA4, 0x00, 0x05, 0x00, 0x01};
  EXPECT_EQ(BlobBytes(formats.BuildFormatRecord(164, kBiff8)), Concat(head, Utf16(u"0.0%x")));
  std::vector<std::uint8_t> biff5 = {0x1E, 0x04, 0x08, 0x00, 0xA4, 0x00, 0x05, '0', '.', '0', '%', 'x'};
  EXPECT_EQ(BlobBytes(formats.BuildFormatRecord(164, kBiff5)), biff5);
  EXPECT_EQ(formats.BuildFormatRecord(165, kBiff8), nullptr);
}

}  // namespace
}  // namespace xls

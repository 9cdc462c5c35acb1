#include "xls/model/blob.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "xls/model/codepage.h"

namespace xls {
namespace {

TEST(Blob, GrowsExactlyAndClampsSize) {
  TXLSBlob b(0);
  EXPECT_EQ(b.GetData(), nullptr);
  b.AddWord(0x1234);
  EXPECT_EQ(b.GetCapacity(), 2u);
  EXPECT_EQ(b.GetSize(), 2u);
  b.AddDWord(0xAABBCCDD);
  EXPECT_EQ(b.GetCapacity(), 6u);
  EXPECT_EQ(b.GetByte(0), 0x34);
  EXPECT_EQ(b.GetByte(2), 0xDD);
  EXPECT_EQ(b.GetDWord(2), 0xAABBCCDDu);
  b.SetSize(100);
  EXPECT_EQ(b.GetSize(), 6u);
  b.Reset();
  EXPECT_EQ(b.GetSize(), 0u);
  EXPECT_EQ(b.GetCapacity(), 6u);
}

// Small records live in the buffer's own bytes; growing past them, from either start, keeps
// every byte written so far.
TEST(Blob, GrowingPastTheInlineBytesKeepsTheContent) {
  for (std::uint32_t start : {0u, 8u, 32u}) {
    TXLSBlob b(start);
    for (std::uint32_t i = 0; i < 100; ++i) b.AddByte(i * 7 + start);
    EXPECT_EQ(b.GetCapacity(), std::max(start, 100u));
    for (std::uint32_t i = 0; i < 100; ++i) ASSERT_EQ(b.GetByte(i), static_cast<std::uint8_t>(i * 7 + start)) << start;
  }
  TXLSBlob big(40);
  big.WriteDWord(36, 0x01020304);
  EXPECT_EQ(big.GetDWord(36), 0x01020304u);
}

TEST(Blob, TypedValuesRoundTripInBothByteOrders) {
  for (bool big : {false, true}) {
    TXLSBlob b(4);
    b.SetBigEndian(big);
    b.AddByte(0x1FF);
    b.AddWord(0xBEEF);
    b.AddDWord(0x01020304);
    b.AddDouble(-2.5);
    EXPECT_EQ(b.GetSize(), 15u);
    EXPECT_EQ(b.GetByte(0), 0xFF);
    EXPECT_EQ(b.GetWord(1), 0xBEEF);
    EXPECT_EQ(b.GetDWord(3), 0x01020304u);
    EXPECT_EQ(b.GetDouble(7), -2.5);
    EXPECT_EQ(b.GetByte(1), big ? 0xBE : 0xEF);
  }
}

TEST(Blob, PositionedWritesDoNotMoveSize) {
  TXLSBlob b(4);
  b.AddWord(0x0031);
  b.AddWord(0);
  b.AddString("xyz");
  b.PutWord(b.GetSize() - 4, 2);
  EXPECT_EQ(b.GetWord(2), 3);
  EXPECT_EQ(b.GetSize(), 7u);
  b.WriteDWord(20, 7);
  EXPECT_EQ(b.GetSize(), 7u);
  EXPECT_EQ(b.GetCapacity(), 24u);
  b.PutBuffer("abcdef", 2, 3, 30);
  EXPECT_EQ(b.GetSize(), 33u);
  EXPECT_EQ(b.GetRawString(30, 3), "cde");
  b.Fill(0, 2, 0xAA);
  EXPECT_EQ(b.GetWord(0), 0xAAAA);
}

TEST(Blob, StringsCutAtNulOnlyWhenNotRaw) {
  TXLSBlob b(0);
  b.AddString(std::string("A\0B", 3));
  EXPECT_EQ(b.GetString(0, 3), "A");
  EXPECT_EQ(b.GetRawString(0, 3), std::string("A\0B", 3));
  b.Reset();
  b.AddByte(0);
  EXPECT_EQ(b.GetString(0, 1), "");
  TXLSBlob w(0);
  w.AddWideString(std::u16string(u"x\0y", 3));
  EXPECT_EQ(w.GetWideString(0, 6), u"x");
  EXPECT_EQ(w.GetRawWideString(0, 6), std::u16string(u"x\0y", 3));
}

TEST(Blob, ReadsPastTheBufferGiveZerosNotForeignMemory) {
  TXLSBlob b(2);
  b.AddWord(0xFFFF);
  EXPECT_EQ(b.GetDWord(0), 0xFFFFu);
  EXPECT_EQ(b.GetWord(100), 0);
  EXPECT_EQ(b.GetRawString(1, 50).size(), 1u);
  EXPECT_EQ(b.GetRawWideString(0, 50).size(), 1u);
}

TEST(Blob, BiffStringsIn16And8BitForms) {
  TXLSBlob b(0);
  b.AddByte(3);
  b.AddByte(0x01);
  b.AddWideString(u"\u20ACab");
  std::uint32_t pos = 0;
  std::u16string text;
  b.GetBiffString(pos, true, text, true);
  EXPECT_EQ(text, u"\u20ACab");
  EXPECT_EQ(pos, 8u);

  TXLSBlob c(0);
  c.AddWord(4);
  c.AddByte(0);
  c.AddString(std::string("\x80x\0y", 4));
  pos = 0;
  c.GetBiffString(pos, false, text, true);
  EXPECT_EQ(text, u"\u20ACx");
  EXPECT_EQ(pos, 7u);
  pos = 0;
  c.GetBiffStringRaw(pos, false, text, true);
  EXPECT_EQ(text, std::u16string(u"\u20ACx\0y", 4));

  TXLSBlob d(0);  // without an option byte the text is 8-bit
  d.AddByte(2);
  d.AddString("hi");
  pos = 0;
  d.GetBiffString(pos, true, text, false);
  EXPECT_EQ(text, u"hi");
  EXPECT_EQ(pos, 3u);
}

TEST(Blob, WriteToStreamReportsShortWrites) {
  struct Full : platform::ByteStream {
    std::size_t Read(void*, std::size_t) override { return 0; }
    std::size_t Write(const void*, std::size_t count) override { return count > 2 ? 2 : count; }
    std::int64_t Seek(std::int64_t, platform::SeekOrigin) override { return 0; }
  } full;
  TXLSBlob b(0);
  b.AddDWord(1);
  EXPECT_EQ(b.WriteToStream(full), -1);
  platform::MemoryStream mem;
  EXPECT_EQ(b.WriteToStream(mem), 1);
  EXPECT_EQ(mem.Bytes().size(), 4u);
}

TXLSBlob* Bytes(std::uint32_t n, std::uint8_t start) {
  auto* b = new TXLSBlob(n);
  for (std::uint32_t i = 0; i < n; ++i) b->AddByte(static_cast<std::uint8_t>(start + i));
  return b;
}

TEST(BlobList, AppendsAcrossChunksAndCopiesRangesBack) {
  TXLSBlobList list;
  EXPECT_EQ(list.Append(Bytes(5000, 0)), 1);
  ASSERT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.GetChunk(0)->GetSize(), 4048u);
  EXPECT_EQ(list.GetChunk(1)->GetSize(), 952u);
  EXPECT_EQ(list.TotalSize(), 5000u);
  EXPECT_EQ(list.GetChunk(2), nullptr);

  TXLSBlob target(0);
  ASSERT_EQ(list.CopyRange(4000, 100, target), 1);
  ASSERT_EQ(target.GetSize(), 100u);
  for (std::uint32_t i = 0; i < 100; ++i)
    ASSERT_EQ(target.GetByte(i), static_cast<std::uint8_t>(4000 + i));

  TXLSBlob none(0);
  EXPECT_EQ(list.CopyRange(5000, 1, none), -1);
  EXPECT_EQ(list.CopyRange(4990, 20, none), -1);
  EXPECT_EQ(list.CopyRange(10, 0, none), 1);

  TXLSBlob* read = nullptr;
  EXPECT_EQ(list.ReadBlob(4047, 2, read), 1);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->GetByte(0), static_cast<std::uint8_t>(4047));
  delete read;
  EXPECT_EQ(list.ReadBlob(4999, 2, read), -1);
  EXPECT_EQ(read, nullptr);
}

TEST(BlobList, AppendListKeepsTheSourceAndWritesInOrder) {
  TXLSBlobList a, b;
  a.Append(Bytes(10, 0));
  b.Append(Bytes(4048, 100));
  b.Append(Bytes(3, 7));
  a.AppendList(b);
  EXPECT_EQ(b.Count(), 2u);
  EXPECT_EQ(b.TotalSize(), 4051u);
  EXPECT_EQ(a.TotalSize(), 4061u);
  platform::MemoryStream out;
  EXPECT_EQ(a.WriteToStream(out), 1);
  ASSERT_EQ(out.Bytes().size(), 4061u);
  EXPECT_EQ(out.Bytes()[10], 100);
  EXPECT_EQ(out.Bytes()[4060], 9);
  TXLSBlobList empty;
  EXPECT_EQ(empty.WriteToStream(out), 1);
}

TEST(BlobList, PutChunkAppendsOrReplaces) {
  TXLSBlobList list;
  list.Append(Bytes(10, 0));
  list.PutChunk(1, Bytes(4, 50));
  EXPECT_EQ(list.TotalSize(), 14u);
  list.Append(Bytes(2, 90));  // must not land inside the chunk that was put
  ASSERT_EQ(list.Count(), 3u);
  TXLSBlob all(0);
  ASSERT_EQ(list.CopyRange(0, 16, all), 1);
  EXPECT_EQ(all.GetByte(10), 50);
  EXPECT_EQ(all.GetByte(14), 90);
  TXLSBlob* old = list.GetChunk(0);
  list.PutChunk(0, Bytes(10, 200));
  EXPECT_EQ(list.TotalSize(), 16u);
  delete old;
  list.PutChunk(9, Bytes(3, 1));  // no such place: taken and freed, nothing added
  EXPECT_EQ(list.Count(), 3u);
}

TEST(BlobList, ReadsUnicodeStringBodiesInBothForms) {
  TXLSBlobList list;
  auto* rec = new TXLSBlob(0);
  rec->AddByte(1);
  rec->AddWideString(u"\u0416z");
  rec->AddByte(0);
  rec->AddString("\x9Fq");
  list.Append(rec);
  std::uint32_t used = 0;
  std::u16string text;
  EXPECT_EQ(list.ReadUnicodeString(0, 2, used, text), 1);
  EXPECT_EQ(text, u"\u0416z");
  EXPECT_EQ(used, 5u);
  EXPECT_EQ(list.ReadUnicodeString(5, 2, used, text), 1);
  EXPECT_EQ(text, u"\u0178q");
  EXPECT_EQ(used, 3u);
  EXPECT_EQ(list.ReadUnicodeString(5, 9, used, text), -1);
}

TEST(CodePage, Windows1252BothWays) {
  EXPECT_EQ(AnsiToWideCP("\x80\x81\xA0\xFF"), u"\u20AC\u0081\u00A0\u00FF");
  EXPECT_EQ(AnsiToWideCP("\x80", 28591), u"\u0080");
  EXPECT_EQ(AnsiToWideCP("\xC6\xE0", 1251), u"\u0416\u0430");  // Cyrillic
  EXPECT_EQ(AnsiToWideCP("\x80", 1251), u"\u0402");
  EXPECT_EQ(AnsiToWideCP("K\xC3\xB6", 65001), u"K\u00F6");
  EXPECT_EQ(AnsiToWideCP("\x80", 99999), u"\u20AC");  // unknown: read as 1252
  EXPECT_EQ(WideToAnsi(u"\u20AC\u0178a\u0416"), "\x80\x9F" "a?");
  EXPECT_EQ(WideToUtf8(Utf8ToWide("K\xC3\xB6ln \xF0\x9F\x98\x80")), "K\xC3\xB6ln \xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToWide("\xF0\x9F\x98\x80").size(), 2u);
  EXPECT_EQ(Utf8ToWide("\xC3"), u"\uFFFD");
}

// Writing in a code page reads back through AnsiToWideCP; what the page lacks is one "?" per
// character and says so.
TEST(CodePage, WritesInTheWorkbooksCodePage) {
  for (int codePage : {1250, 1251, 1253, 1254, 1257, 874, 932, 936}) {
    for (int b = 0x20; b <= 0xFF; ++b) {
      const char byte = static_cast<char>(b);
      const std::u16string w = AnsiToWideCP(std::string_view(&byte, 1), codePage);
      if (w.size() != 1 || w[0] == 0xFFFD) continue;  // undefined, or the lead byte of a pair
      bool lossless = false;
      EXPECT_EQ(WideToAnsiCP(w, codePage, &lossless), std::string(1, byte)) << codePage << " " << b;
      EXPECT_TRUE(lossless);
    }
  }
  bool lossless = true;
  EXPECT_EQ(WideToAnsiCP(u"Щé😀", 1251, &lossless), "\xD9??");
  EXPECT_FALSE(lossless);
  EXPECT_EQ(WideToAnsiCP(u"\u65E5\u672C", 932, &lossless), "\x93\xFA\x96\x7B");
  EXPECT_TRUE(lossless);
  EXPECT_EQ(WideToAnsiCP(u"\u0416", 932, &lossless), "\x84\x47");
  EXPECT_EQ(WideToAnsiCP(u"é\u0416", 1252, &lossless), "\xE9?");
  EXPECT_FALSE(lossless);
  EXPECT_EQ(WideToAnsiCP(u"Köln", 65001), "K\xC3\xB6ln");
}

}  // namespace
}  // namespace xls

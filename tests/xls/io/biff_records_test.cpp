// Record framing, CONTINUE splitting, the drawing group of a workbook without drawings and the
// row-block records.
#include <gtest/gtest.h>

#include <vector>

#include "xls/io/biff_writer.h"
#include "xls/io/drawing_group.h"
#include "xls/io/row_blocks.h"
#include "xls/model/xls_constants.h"

namespace xls {
namespace {

std::vector<std::uint8_t> Bytes(const TXLSBlob& b) { return {b.GetData(), b.GetData() + b.GetSize()}; }

std::vector<std::uint8_t> Bytes(const TXLSBlobList& list) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < list.Count(); ++i) {
    auto part = Bytes(*list.GetChunk(i));
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

// (id, length) of each record in a byte run, and the data bytes joined.
struct Walk {
  std::vector<std::pair<int, int>> records;
  std::vector<std::uint8_t> data;
};

Walk WalkRecords(const std::vector<std::uint8_t>& bytes) {
  Walk w;
  std::size_t at = 0;
  while (at + 4 <= bytes.size()) {
    int id = bytes[at] | (bytes[at + 1] << 8), len = bytes[at + 2] | (bytes[at + 3] << 8);
    w.records.emplace_back(id, len);
    w.data.insert(w.data.end(), bytes.begin() + static_cast<long>(at + 4), bytes.begin() + static_cast<long>(at + 4 + len));
    at += 4 + static_cast<std::size_t>(len);
  }
  EXPECT_EQ(at, bytes.size());
  return w;
}

std::unique_ptr<TXLSBlob> Numbered(std::uint16_t id, std::uint32_t n) {
  auto b = NewBiffRecord(id, n);
  for (std::uint32_t i = 0; i < n; ++i) b->AddByte(i * 7 + 3);
  return b;
}

TEST(BiffRecords, LongRecordsContinueAtTheFormatsLimit) {
  auto original = Bytes(*Numbered(0x00FC, 10000));
  auto biff8 = SplitRecord(Numbered(0x00FC, 10000), kBiff8RecordLimit);
  EXPECT_EQ(biff8->GetSize(), biff8->GetCapacity());
  Walk w8 = WalkRecords(Bytes(*biff8));
  EXPECT_EQ(w8.records, (std::vector<std::pair<int, int>>{{0xFC, 8224}, {0x3C, 1776}}));
  EXPECT_EQ(w8.data, std::vector<std::uint8_t>(original.begin() + 4, original.end()));

  Walk w5 = WalkRecords(Bytes(*SplitRecord(Numbered(0x00FC, 10000), kBiff5RecordLimit)));
  EXPECT_EQ(w5.records, (std::vector<std::pair<int, int>>{
                            {0xFC, 2080}, {0x3C, 2080}, {0x3C, 2080}, {0x3C, 2080}, {0x3C, 1680}}));
  EXPECT_EQ(w5.data, w8.data);

  // A record of exactly the limit stays whole; so does one that AddBiffRecord appends.
  EXPECT_EQ(WalkRecords(Bytes(*SplitRecord(Numbered(0x00FC, 8224), kBiff8RecordLimit))).records.size(), 1u);
  TXLSBlobList list;
  EXPECT_EQ(AddBiffRecord(list, Numbered(0x0203, 2081), kBiff5RecordLimit), 1);
  EXPECT_EQ(AddBiffRecord(list, nullptr, kBiff5RecordLimit), 1);
  EXPECT_EQ(WalkRecords(Bytes(list)).records, (std::vector<std::pair<int, int>>{{0x203, 2080}, {0x3C, 1}}));

  // The size of a record as written, continuations included (INDEX positions the cells by it).
  for (std::uint32_t data : {0u, 2080u, 2081u, 4160u, 4161u, 10000u})
    for (std::uint16_t limit : {kBiff5RecordLimit, kBiff8RecordLimit})
      EXPECT_EQ(SplitRecordSize(4 + data, limit), SplitRecord(Numbered(0x020B, data), limit)->GetSize()) << data;
}

TEST(BiffRecords, BiffWriterSplitsOneLogicalRecordWhereverTheLimitFalls) {
  TXLSBlobList out;
  std::vector<std::uint8_t> expected;
  {
    TXLSBiffWriter writer(out, 100);
    writer.BeginRecord(0x00EB, 250);
    for (int piece = 0; piece < 5; ++piece) {
      TXLSBlob b(50);
      for (int i = 0; i < 50; ++i) {
        b.AddByte(static_cast<std::uint32_t>(piece * 50 + i));
        expected.push_back(static_cast<std::uint8_t>(piece * 50 + i));
      }
      writer.Append(b);
    }
    writer.BeginRecord(0x000A, 0);
  }  // the destructor flushes the open record
  Walk w = WalkRecords(Bytes(out));
  EXPECT_EQ(w.records, (std::vector<std::pair<int, int>>{{0xEB, 100}, {0x3C, 100}, {0x3C, 50}, {0x0A, 0}}));
  EXPECT_EQ(w.data, expected);
}

TEST(BiffRecords, DrawingGroupOfAWorkbookWithoutDrawings) {
  TXLSBlobList out;
  TMSODrawingGroup group;
  EXPECT_EQ(group.GetSize(), 40u);
  EXPECT_EQ(group.Write(out, kBiff8RecordLimit), 1);
  const std::vector<std::uint8_t> expected = {
      0xEB, 0x00, 0x28, 0x00,                          // MSODRAWINGGROUP, 40 bytes
      0x0F, 0x00, 0x00, 0xF0, 0x20, 0x00, 0x00, 0x00,  // DggContainer, 32 bytes
      0x03, 0x00, 0x0B, 0xF0, 0x00, 0x00, 0x00, 0x00,  // empty property table
      0x40, 0x00, 0x1E, 0xF1, 0x10, 0x00, 0x00, 0x00,  // split-menu colours
      0x0D, 0x00, 0x00, 0x08, 0x0C, 0x00, 0x00, 0x08, 0x17, 0x00, 0x00, 0x08, 0xF7, 0x00, 0x00, 0x10};
  EXPECT_EQ(Bytes(out), expected);
  TXLSBlobList small;
  group.Write(small, 16);
  EXPECT_EQ(WalkRecords(Bytes(small)).records,
            (std::vector<std::pair<int, int>>{{0xEB, 16}, {0x3C, 16}, {0x3C, 8}}));
}

TEST(RowBlocks, DBCellOffsetsCountFromTheEndOfTheFirstRowRecord) {
  TXLSDBCell block(32, 1000);
  block.AddRow(33, 1060);  // the ROW records of rows 33 and 35 take 1000..1039
  block.AddRow(35, 1074);
  block.AddRow(35, 1074);  // counted once
  block.SetEnd(63, 1100);
  const auto db = Bytes(*block.BuildDBCellRecord());
  EXPECT_EQ(db, (std::vector<std::uint8_t>{0xD7, 0x00, 8, 0, 100, 0, 0, 0, 40, 0, 14, 0}));
  EXPECT_EQ(block.FirstUsedRow(), 33);
  EXPECT_EQ(block.LastUsedRow(), 35);

  TXLSDBCell empty(0, 0);
  empty.SetEnd(0, 0);
  EXPECT_EQ(Bytes(*empty.BuildDBCellRecord()), (std::vector<std::uint8_t>{0xD7, 0x00, 4, 0, 0, 0, 0, 0}));

  // Offsets past 65535 are written as 0 from there on.
  TXLSDBCell far(0, 0);
  far.AddRow(0, 40);
  far.AddRow(1, 70000);
  far.AddRow(2, 70010);
  far.SetEnd(31, 70020);
  const auto fb = Bytes(*far.BuildDBCellRecord());
  ASSERT_EQ(fb.size(), 14u);
  EXPECT_EQ(fb[8] | (fb[9] << 8), 20);
  EXPECT_EQ(fb[10] | (fb[11] << 8), 0);
  EXPECT_EQ(fb[12] | (fb[13] << 8), 0);
}

TEST(RowBlocks, IndexListsEveryDBCellAndTheUsedRows) {
  TXLSDBCellIndex index;
  EXPECT_EQ(index.GetRecordSize(kBiff8), 0u);
  EXPECT_EQ(index.BuildIndexRecord(kBiff8, 0), nullptr);
  index.AddBlock(-1, -1, 10);  // a block without rows keeps its place
  EXPECT_EQ(index.GetRecordSize(kBiff8), 0u);
  index.AddBlock(40, 50, 300);
  index.AddBlock(3, 7, 20);
  EXPECT_EQ(index.FirstRow(), 3);
  EXPECT_EQ(index.LastRow(), 50);
  EXPECT_EQ(index.GetRecordSize(kBiff8), 32u);
  EXPECT_EQ(index.GetRecordSize(kBiff5), 28u);
  const auto b8 = Bytes(*index.BuildIndexRecord(kBiff8, 1000));
  EXPECT_EQ(b8, (std::vector<std::uint8_t>{0x0B, 0x02, 28, 0, 0, 0, 0, 0, 3, 0, 0, 0, 51, 0, 0, 0, 0, 0, 0, 0,
                                           0xF2, 0x03, 0, 0, 0x14, 0x05, 0, 0, 0xFC, 0x03, 0, 0}));
  const auto b5 = Bytes(*index.BuildIndexRecord(kBiff5, 0));
  EXPECT_EQ(b5, (std::vector<std::uint8_t>{0x0B, 0x02, 24, 0, 0, 0, 0, 0, 3, 0, 51, 0, 0, 0, 0, 0,
                                           10, 0, 0, 0, 0x2C, 0x01, 0, 0, 20, 0, 0, 0}));
}

}  // namespace
}  // namespace xls

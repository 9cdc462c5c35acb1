// Escher records and the drawing group: property tables, client anchors and shape records,
// the shape-id clusters, the picture store (a named BSE keeps its offsets), the group read from
// data and written again, and the errors of malformed data.
#include <gtest/gtest.h>

#include "xls/io/drawing/drawing_group.h"
#include "xls/io/drawing/escher.h"

namespace xls::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void Header(Bytes& b, std::uint32_t version, std::uint32_t instance, std::uint16_t type, std::uint32_t length) {
  Put32(b, version | instance << 4 | static_cast<std::uint32_t>(type) << 16);
  Put32(b, length);
}

std::unique_ptr<TXLSBlob> ToBlob(const Bytes& bytes) {
  auto blob = std::make_unique<TXLSBlob>(static_cast<std::uint32_t>(bytes.size()));
  for (std::uint8_t c : bytes) blob->AddByte(c);
  return blob;
}

Bytes Written(const TMsoFbt& record) {
  std::unique_ptr<TXLSBlob> blob = record.GetBlob();
  return blob ? Bytes(blob->GetData(), blob->GetData() + blob->GetSize()) : Bytes{};
}

// Reading and writing back LibreOffice's property tables, anchors and shapes is checked on its
// own files (drawing_interop_test.cpp); here the order of entries we set and malformed records.
TEST(Escher, PropertyOrderAndMalformedRecords) {
  // Entries are written in id order whatever the order they are set in.
  TMsoFbtOpt made;
  made.SetProperty(0x03BF, 2);
  made.SetProperty(0x0080, 7);
  Bytes expected;
  Header(expected, 3, 2, kMsoOpt, 12);
  Put16(expected, 0x0080), Put32(expected, 7);
  Put16(expected, 0x03BF), Put32(expected, 2);
  EXPECT_EQ(Written(made), expected);
  // A table read out of order, with an id given twice (the later one holds) and complex data.
  Bytes read;
  Put16(read, 0x0181), Put32(read, 5);
  Put16(read, 0x0080), Put32(read, 1);
  Put16(read, 0x8145), Put32(read, 2);
  Put16(read, 0x0181), Put32(read, 9);
  read.push_back('a'), read.push_back('b');
  TMsoFbtOpt table;
  table.ReadFromBlob(TMSOHeader(3, 4, kMsoOpt, static_cast<std::uint32_t>(read.size())), *ToBlob(read));
  EXPECT_EQ(table.PropertyCount(), 3u);
  EXPECT_EQ(table.GetProperty(0x0181), 9u);
  EXPECT_TRUE(table.HasProperty(0x0145));
  EXPECT_FALSE(table.HasProperty(0x0146));
  Bytes rewritten;
  Header(rewritten, 3, 3, kMsoOpt, 3 * 6 + 2);
  Put16(rewritten, 0x0080), Put32(rewritten, 1);
  Put16(rewritten, 0x8145), Put32(rewritten, 2);
  Put16(rewritten, 0x0181), Put32(rewritten, 9);
  rewritten.push_back('a'), rewritten.push_back('b');
  EXPECT_EQ(Written(table), rewritten);
  TMsoFbtClientAnchor a;
  EXPECT_THROW(a.ReadFromBlob(TMSOHeader(0, 0, kMsoClientAnchor, 16), *ToBlob(Bytes(16, 0))), EMsoParseError);
  TMSOHeader sp(2, 202, kMsoSp, 8);
  EXPECT_THROW(TMsoFbtSp(sp, nullptr), EMsoParseError);
  auto shortData = ToBlob(Bytes(7, 0));
  EXPECT_THROW(TMsoFbtSp(sp, shortData.get()), EMsoParseError);
}

TEST(Escher, ShapeIdClusters) {
  TMsoFbtDGG dgg;
  std::uint16_t drawing = 0;
  dgg.RegisterDrawing(drawing);
  EXPECT_EQ(drawing, 1);
  std::uint32_t id = 0;
  for (int i = 0; i < 1025; ++i) id = dgg.NewShapeId(drawing);
  EXPECT_EQ(id, 2u * 1024 + 0);  // the 1025th shape opens a second cluster
  EXPECT_EQ(dgg.ClusterCount(), 2u);
  std::uint16_t second = 0;
  dgg.RegisterDrawing(second);
  EXPECT_EQ(dgg.NewShapeId(second), 3u * 1024);
  dgg.ReleaseDrawing(drawing);
  ASSERT_EQ(dgg.ClusterCount(), 3u);  // the clusters stay, without their drawing
  EXPECT_EQ(dgg.Clusters()[0].drawingId, 0u);
  EXPECT_EQ(dgg.Clusters()[2].drawingId, 2u);
  dgg.ResetCounters();
  dgg.RegisterShapeId(3 * 1024);
  Bytes expected;
  Header(expected, 0, 0, kMsoDgg, 16 + 3 * 8);
  for (std::uint32_t v : {3u * 1024 + 1, 4u, 1u, 0u, 0u, 1024u, 0u, 1u, 2u, 1u}) Put32(expected, v);
  EXPECT_EQ(Written(dgg), expected);
}

// One BSE with a PNG blip; the name (UTF-16 bytes) stands between the body and the blip, and the
// size field counts the blip alone.
Bytes PngEntry(const Bytes& name, const Bytes& picture, std::uint32_t instance = 0x6E0) {
  Bytes blip;
  Header(blip, 0, instance, kMsoBlipFirst + kBlipPNG, static_cast<std::uint32_t>(16 * (instance == 0x6E1 ? 2 : 1) + 1 + picture.size()));
  for (int i = 0; i < 16 * (instance == 0x6E1 ? 2 : 1); ++i) blip.push_back(static_cast<std::uint8_t>(i));
  blip.push_back(0xFF);
  blip.insert(blip.end(), picture.begin(), picture.end());
  Bytes e;
  Header(e, 2, kBlipPNG, kMsoBSE, static_cast<std::uint32_t>(36 + name.size() + blip.size()));
  e.push_back(kBlipPNG), e.push_back(kBlipPNG);
  for (int i = 0; i < 16; ++i) e.push_back(static_cast<std::uint8_t>(i));
  Put16(e, 0x00FF);
  Put32(e, static_cast<std::uint32_t>(blip.size()));
  Put32(e, 3);  // references
  Put32(e, 0);
  e.push_back(0), e.push_back(static_cast<std::uint8_t>(name.size())), e.push_back(0), e.push_back(0);
  e.insert(e.end(), name.begin(), name.end());
  e.insert(e.end(), blip.begin(), blip.end());
  return e;
}

TEST(Escher, DrawingGroupReadAndWrittenBack) {
  const Bytes picture = {0x89, 'P', 'N', 'G', 1, 2, 3, 4, 5};
  const Bytes named = PngEntry({'a', 0, 'b', 0}, picture);
  Bytes dgg;
  Header(dgg, 0, 0, kMsoDgg, 24);
  for (std::uint32_t v : {1027u, 2u, 3u, 1u, 1u, 3u}) Put32(dgg, v);
  Bytes store;
  Header(store, 15, 2, kMsoBStoreContainer, static_cast<std::uint32_t>(2 * named.size()));
  store.insert(store.end(), named.begin(), named.end());
  store.insert(store.end(), named.begin(), named.end());
  Bytes opt;
  Header(opt, 3, 1, kMsoOpt, 6);
  Put16(opt, 0x00BF), Put32(opt, 0x00080008);
  Bytes split;
  Header(split, 0, 4, kMsoSplitMenuColors, 16);
  for (std::uint32_t c : {0x0800000Du, 0x0800000Cu, 0x08000017u, 0x100000F7u}) Put32(split, c);
  Bytes body;
  Header(body, 15, 0, kMsoDggContainer, static_cast<std::uint32_t>(dgg.size() + store.size() + opt.size() + split.size()));
  for (const Bytes* part : {&dgg, &store, &opt, &split}) body.insert(body.end(), part->begin(), part->end());

  // Split over two blocks, as MSODRAWINGGROUP and CONTINUE.
  TXLSBlobList data;
  const std::size_t half = body.size() / 2;
  TXLSBlob* a = new TXLSBlob(0);
  for (std::size_t i = 0; i < half; ++i) a->AddByte(body[i]);
  TXLSBlob* b = new TXLSBlob(0);
  for (std::size_t i = half; i < body.size(); ++i) b->AddByte(body[i]);
  data.Add(a);
  data.Add(b);
  TMSODrawingGroup group;
  ASSERT_EQ(group.Read(data), 1);
  ASSERT_EQ(group.Pictures().Count(), 2u);
  EXPECT_EQ(group.Pictures().Item(0)->data, Bytes(picture.begin(), picture.end()));
  EXPECT_EQ(group.Dgg().LargestDrawingId(), 1);
  // Written again with the counters of a save that registered the same shapes.
  std::uint16_t drawing = 1;
  group.ResetDgg();
  group.Dgg().RegisterDrawing(drawing);
  for (std::uint32_t id : {1024u, 1025u, 1026u}) group.Dgg().RegisterShapeId(id);
  TXLSBlobList out;
  ASSERT_EQ(group.Write(out, 8224), 1);
  Bytes written;
  for (std::size_t i = 0; i < out.Count(); ++i) written.insert(written.end(), out.GetChunk(i)->GetData(), out.GetChunk(i)->GetData() + out.GetChunk(i)->GetSize());
  ASSERT_GE(written.size(), 4u);
  // The MD4 uid replaces the one read; everything else comes back as read.
  Bytes expected = body;
  const Bytes uid = [&] {
    TMSOPicture p;
    p.data = picture;
    p.ComputeUid();
    return Bytes(p.uid.begin(), p.uid.end());
  }();
  for (std::size_t entry : {dgg.size() + 8 + 8, dgg.size() + 8 + 8 + named.size()}) {
    std::copy(uid.begin(), uid.end(), expected.begin() + static_cast<std::ptrdiff_t>(entry + 8 + 2));
    std::copy(uid.begin(), uid.end(), expected.begin() + static_cast<std::ptrdiff_t>(entry + 8 + 36 + 4 + 8));
  }
  EXPECT_EQ(Bytes(written.begin() + 4, written.end()), expected);

  // An entry with two uids keeps only the picture bytes; a blip whose size disagrees with its
  // entry is taken (kept as read: OddPictureEntriesCostAtMostTheirPicture); a BSE that runs past
  // the store is refused.
  const Bytes twoUids = PngEntry({}, picture, 0x6E1);
  TMSOPicture p;
  std::size_t at = 0;
  ASSERT_EQ(p.ReadFrom(twoUids, at, twoUids.size()), 1);
  EXPECT_EQ(p.data, picture);
  Bytes badSize = named;
  badSize[8 + 20] ^= 1;
  at = 0;
  EXPECT_EQ(TMSOPicture().ReadFrom(badSize, at, badSize.size()), 1);
  at = 0;
  EXPECT_EQ(TMSOPicture().ReadFrom(named, at, named.size() - 1), -1);
  TXLSBlobList cut;
  TXLSBlob* truncated = new TXLSBlob(0);
  for (std::size_t i = 0; i < 8 + dgg.size() - 4; ++i) truncated->AddByte(body[i]);
  cut.Add(truncated);
  EXPECT_THROW(TMSODrawingGroup().Read(cut), EMsoParseError);
}

// An entry kept as read goes back with the model's reference count; an entry that cannot be
// walked ends the store and is counted lost, the rest of the group is read.
TEST(Escher, OddPictureEntriesCostAtMostTheirPicture) {
  const Bytes picture = {0x89, 'P', 'N', 'G', 9, 8, 7};
  Bytes kept = PngEntry({}, picture);
  kept[8 + 20] ^= 1;  // the size field disagrees with the blip
  Bytes png = PngEntry({}, picture);
  Bytes broken;  // counted as the third entry, but no BSE
  Header(broken, 2, kBlipPNG, kMsoOpt, 0);
  Bytes body;
  Header(body, 15, 0, kMsoDggContainer, static_cast<std::uint32_t>(8 + kept.size() + png.size() + broken.size()));
  Header(body, 15, 3, kMsoBStoreContainer, static_cast<std::uint32_t>(kept.size() + png.size() + broken.size()));
  for (const Bytes* part : {&kept, &png, &broken}) body.insert(body.end(), part->begin(), part->end());
  TXLSBlobList data;
  data.Add(ToBlob(body).release());
  TMSODrawingGroup group;
  ASSERT_EQ(group.Read(data), 1);
  ASSERT_EQ(group.Pictures().Count(), 2u);
  EXPECT_EQ(group.TakeLostPictures(), 1u);
  EXPECT_EQ(group.TakeLostPictures(), 0u);
  EXPECT_TRUE(group.Pictures().Item(0)->data.empty());
  EXPECT_EQ(group.Pictures().Item(1)->data, picture);
  group.Pictures().Item(0)->refCount = 7;
  TXLSBlobList out;
  ASSERT_EQ(group.Write(out, 8224), 1);
  const TXLSBlob* record = out.GetChunk(0);
  Bytes expected = kept;
  expected[8 + 24] = 7;
  ASSERT_GT(record->GetSize(), 4u + 16u + expected.size());
  EXPECT_EQ(Bytes(record->GetData() + 4 + 16, record->GetData() + 4 + 16 + expected.size()), expected);
}

}  // namespace
}  // namespace xls::test

// The drawing parser: a tree spread over several records (and split anywhere) gives the same
// events; skipped records and empty atoms; headers that promise more than the data holds; deep
// nesting is refused and deep trees are freed without recursion.
#include <gtest/gtest.h>

#include <string>

#include "xls/io/drawing/drawing_parser.h"

namespace xls::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Header(Bytes& b, std::uint32_t version, std::uint16_t type, std::uint32_t length) {
  const std::uint32_t first = version | static_cast<std::uint32_t>(type) << 16;
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(first >> (8 * i)));
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
}

Bytes Atom(std::uint16_t type, const Bytes& data) {
  Bytes b;
  Header(b, 0, type, static_cast<std::uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

Bytes Container(std::uint16_t type, const std::vector<Bytes>& children) {
  Bytes inner;
  for (const Bytes& c : children) inner.insert(inner.end(), c.begin(), c.end());
  Bytes b;
  Header(b, 15, type, static_cast<std::uint32_t>(inner.size()));
  b.insert(b.end(), inner.begin(), inner.end());
  return b;
}

// Events as text; records of type skipType are skipped.
struct Recorder {
  std::string events;
  std::uint16_t skipType = 0;
  void Attach(TXLSDrawingParser& p) {
    p.OnHeader = [this](TXLSDrawingParser&, const TMSOHeader& h, bool& skip, bool container) {
      events += "H" + std::to_string(h.RecType() & 0xFF) + (container ? "c " : " ");
      if (h.RecType() == skipType) skip = true;
    };
    p.OnAtom = [this](TXLSDrawingParser&, const TMSOHeader& h, const TXLSBlob& data) {
      events += "A" + std::to_string(h.RecType() & 0xFF) + ":";
      for (std::uint32_t i = 0; i < data.GetSize(); ++i) events += std::to_string(data.GetByte(i)) + ",";
      events += " ";
    };
    p.OnEnd = [this](TXLSDrawingParser&, const TMSOHeader& h, bool) { events += "E" + std::to_string(h.RecType() & 0xFF) + " "; };
    p.OnFinish = [this](TXLSDrawingParser&) { events += "F "; };
  }
};

Bytes SampleDrawing() {
  const Bytes shape1 = Container(kMsoSpContainer, {Atom(kMsoSp, {1, 2, 3, 4, 5, 6, 7, 8}), Atom(kMsoClientData, {})});
  const Bytes shape2 = Container(kMsoSpContainer, {Atom(kMsoSp, {9, 9, 9, 9, 0, 0, 0, 0}), Atom(kMsoOpt, {7})});
  return Container(kMsoDgContainer, {Atom(kMsoDg, {2, 0, 0, 0, 1, 4, 0, 0}), Container(kMsoSpgrContainer, {shape1, shape2})});
}

std::string Events(const std::vector<Bytes>& pieces, std::uint16_t skipType = 0) {
  TXLSDrawingParser parser;
  Recorder r;
  r.skipType = skipType;
  r.Attach(parser);
  for (const Bytes& piece : pieces) parser.ParseBytes(piece.data(), piece.size());
  return r.events;
}

TEST(DrawingParser, SameEventsHoweverTheDataIsSplit) {
  const Bytes all = SampleDrawing();
  const std::string whole = Events({all});
  EXPECT_EQ(whole,
            "H2c H8 A8:2,0,0,0,1,4,0,0, E8 H3c H4c H10 A10:1,2,3,4,5,6,7,8, E10 H17 A17: E17 E4 "
            "H4c H10 A10:9,9,9,9,0,0,0,0, E10 H11 A11:7, E11 E4 E3 E2 F ");
  for (std::size_t cut = 1; cut < all.size(); ++cut) {
    for (std::size_t cut2 = cut; cut2 < all.size(); cut2 += 7) {
      const Bytes a(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(cut));
      const Bytes b(all.begin() + static_cast<std::ptrdiff_t>(cut), all.begin() + static_cast<std::ptrdiff_t>(cut2));
      const Bytes c(all.begin() + static_cast<std::ptrdiff_t>(cut2), all.end());
      ASSERT_EQ(Events({a, b, c}), whole) << "split at " << cut << " and " << cut2;
    }
  }
  // Record groups: blocks before the drawing data (an OBJ body) are left out.
  TXLSBlobList group;
  TXLSBlob* obj = new TXLSBlob(0);
  obj->AddDWord(0x00120015);
  group.Add(obj);
  TXLSBlob* drawing = new TXLSBlob(0);
  for (std::uint8_t c : all) drawing->AddByte(c);
  group.Add(drawing);
  TXLSDrawingParser parser;
  Recorder r;
  r.Attach(parser);
  parser.ParseFrom(group, 1);
  EXPECT_EQ(r.events, whole);
  // A skipped container is passed over whole; a skipped atom has no further events.
  EXPECT_EQ(Events({all}, kMsoSpgrContainer), "H2c H8 A8:2,0,0,0,1,4,0,0, E8 H3c E2 F ");
  EXPECT_EQ(Events({all}, kMsoDg).substr(0, 12), "H2c H8 H3c H");
}

TEST(DrawingParser, LengthsBeyondTheDataAreNotTrusted) {
  // A 20-byte record asks for almost 4 GB: only the bytes present are kept, and the record stays
  // open for more data that never comes.
  Bytes huge;
  Header(huge, 0, kMsoOpt, 0xFFFFFFF0u);
  for (int i = 0; i < 12; ++i) huge.push_back(static_cast<std::uint8_t>(i));
  TXLSDrawingParser parser;
  Recorder r;
  r.Attach(parser);
  parser.ParseBytes(huge.data(), huge.size());
  ASSERT_NE(parser.Current(), nullptr);
  EXPECT_EQ(parser.Current()->Consumed(), 12u);
  EXPECT_EQ(r.events, "H11 ");
  // A child larger than its container: the sums do not wrap and nothing is reported as ended.
  Bytes outer;
  Header(outer, 15, kMsoDgContainer, 16);
  Header(outer, 15, kMsoSpContainer, 0xFFFFFFFFu);
  Header(outer, 15, kMsoSpContainer, 0xFFFFFFFFu);
  TXLSDrawingParser second;
  Recorder r2;
  r2.Attach(second);
  second.ParseBytes(outer.data(), outer.size());
  EXPECT_EQ(r2.events, "H2c H4c H4c ");
  EXPECT_GT(second.Root()->Consumed(), 0xFFFFFFFFull);
}

TEST(DrawingParser, NestingIsCapped) {
  Bytes deep;
  for (int i = 0; i < TXLSDrawingParser::kMaxDepth + 1; ++i) Header(deep, 15, kMsoSpgrContainer, 0x7FFFFFFF);
  {
    TXLSDrawingParser parser;
    parser.ParseBytes(deep.data(), deep.size());  // at the cap: accepted
    EXPECT_EQ(parser.Current()->Depth(), TXLSDrawingParser::kMaxDepth);
    Header(deep, 15, kMsoSpgrContainer, 8);
    EXPECT_THROW(parser.ParseBytes(deep.data() + deep.size() - 8, 8), EMsoParseError);
  }  // and freed without recursion
}

}  // namespace
}  // namespace xls::test

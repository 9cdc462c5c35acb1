// The macro project reader: VBA compression decoded from containers built here by the
// algorithm's rules (literals, copy tokens at every offset width, overlapping copies, raw
// chunks), damaged containers refused, and a project storage with a dir stream, a code page
// and modules read back, also through the workbook that opened the file.
#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "platform/compound_file.h"
#include "xls/io/reader/vba_project.h"
#include "xls/model/workbook.h"

namespace xls {
namespace {

using Bytes = std::vector<std::uint8_t>;
struct Copy {
  std::uint32_t offset, length;
};
using Token = std::variant<std::uint8_t, Copy>;

// One compressed chunk from tokens: a flag byte before every eight tokens, copy tokens split
// by the bit count that the bytes decompressed so far give.
Bytes Chunk(const std::vector<Token>& tokens) {
  Bytes data;
  std::size_t done = 0, flagAt = 0;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (i % 8 == 0) {
      flagAt = data.size();
      data.push_back(0);
    }
    if (auto* literal = std::get_if<std::uint8_t>(&tokens[i])) {
      data.push_back(*literal);
      ++done;
      continue;
    }
    Copy c = std::get<Copy>(tokens[i]);
    int bits = 4;
    while (bits < 12 && (std::size_t(1) << bits) < done) ++bits;
    auto token = static_cast<std::uint16_t>(((c.offset - 1) << (16 - bits)) | (c.length - 3));
    data[flagAt] |= static_cast<std::uint8_t>(1 << (i % 8));
    data.insert(data.end(), {static_cast<std::uint8_t>(token), static_cast<std::uint8_t>(token >> 8)});
    done += c.length;
  }
  EXPECT_LE(data.size(), 4096u);
  auto header = static_cast<std::uint16_t>(0xB000 | (data.size() + 2 - 3));
  data.insert(data.begin(), {static_cast<std::uint8_t>(header), static_cast<std::uint8_t>(header >> 8)});
  return data;
}

Bytes Container(const std::vector<Bytes>& chunks) {
  Bytes out = {1};
  for (const auto& c : chunks) out.insert(out.end(), c.begin(), c.end());
  return out;
}

std::vector<Token> Literals(const std::string& text) {
  std::vector<Token> out;
  for (char c : text) out.push_back(static_cast<std::uint8_t>(c));
  return out;
}

std::unique_ptr<TXLSBlob> Decompress(const Bytes& bytes, std::uint32_t start = 0) {
  TXLSBlob source(static_cast<std::uint32_t>(bytes.size()));
  for (auto b : bytes) source.AddByte(b);
  return TXLSVBADecompressor(source, start).Decompress();
}

std::string Text(const std::unique_ptr<TXLSBlob>& blob) {
  return blob ? std::string(reinterpret_cast<const char*>(blob->GetData()), blob->GetSize()) : "<failed>";
}

TEST(VbaDecompression, HandWorkedContainers) {
  // Eight literals; then "a" and a copy of offset 1 and length 10, which repeats the "a".
  EXPECT_EQ(Text(Decompress(Container({Chunk(Literals("abcdefgh"))}))), "abcdefgh");
  std::vector<Token> overlap = {std::uint8_t('a'), Copy{1, 10}};
  Bytes chunk = Chunk(overlap);
  EXPECT_EQ(chunk, (Bytes{0x03, 0xB0, 0x02, 'a', 0x07, 0x00}));
  EXPECT_EQ(Text(Decompress(Container({chunk}))), std::string(11, 'a'));
  // "#aaabcdefaaaaghij" style: a copy from further back in the middle of literals.
  std::vector<Token> mixed = Literals("abcdefgh");
  mixed.push_back(Copy{8, 5});
  for (char c : std::string("xyz")) mixed.push_back(std::uint8_t(c));
  mixed.push_back(Copy{3, 4});
  EXPECT_EQ(Text(Decompress(Container({Chunk(mixed)}))), "abcdefghabcdexyzxyzx");
  // Starting past leading bytes, as module streams do at their text offset.
  Bytes withPrefix = {9, 9, 9};
  Bytes c = Container({Chunk(Literals("Sub A()"))});
  withPrefix.insert(withPrefix.end(), c.begin(), c.end());
  EXPECT_EQ(Text(Decompress(withPrefix, 3)), "Sub A()");
}

// For every split of the copy token (4 to 12 offset bits): a copy reaching back to the very
// first byte of the chunk works, one byte further is refused; so is the longest length.
TEST(VbaDecompression, CopyTokensAtEveryOffsetWidth) {
  for (int bits = 4; bits <= 12; ++bits) {
    std::uint32_t done = bits == 4 ? 9 : (1u << (bits - 1)) + 1;
    std::vector<Token> tokens;
    std::string expected;
    for (std::uint32_t i = 0; i < done; ++i) {
      auto b = static_cast<std::uint8_t>('A' + (i * 7) % 26);
      tokens.push_back(b);
      expected.push_back(static_cast<char>(b));
    }
    std::uint32_t maxLength = std::min<std::uint32_t>((0xFFFFu >> bits) + 3, 4096 - done);
    tokens.push_back(Copy{done, maxLength});
    for (std::uint32_t k = 0; k < maxLength; ++k) expected.push_back(expected[k]);
    EXPECT_EQ(Text(Decompress(Container({Chunk(tokens)}))), expected) << bits << " offset bits";
    tokens.back() = Copy{done + 1, 3};
    EXPECT_EQ(Decompress(Container({Chunk(tokens)})), nullptr) << bits << " bits";
  }
}

TEST(VbaDecompression, ChunksInSequenceAndDamage) {
  // A source text over 4096 bytes: a raw chunk of 4096 bytes, then a compressed one whose copy
  // tokens count from their own chunk's start.
  Bytes raw = {0xFF, 0x3F};
  std::string first;
  for (int i = 0; i < 4096; ++i) first.push_back(static_cast<char>('a' + i % 23));
  raw.insert(raw.end(), first.begin(), first.end());
  std::vector<Token> second = Literals("End Sub");
  second.push_back(Copy{7, 7});
  Bytes two = Container({raw, Chunk(second)});
  EXPECT_EQ(Text(Decompress(two)), first + "End SubEnd Sub");

  EXPECT_EQ(Decompress({}), nullptr);
  EXPECT_EQ(Decompress({2, 0x03, 0xB0, 0x00, 'a'}), nullptr);         // container signature
  EXPECT_EQ(Decompress({1, 0x03, 0xA0, 0x00, 'a', 'b', 'c'}), nullptr);  // chunk signature
  EXPECT_EQ(Decompress({1, 0x08, 0xB0, 0x00, 'a', 'b'}), nullptr);   // chunk longer than the source
  EXPECT_EQ(Decompress({1, 0x03}), nullptr);                         // header cut
  EXPECT_EQ(Decompress({1, 0x02, 0xB0, 0x01, 0x00}), nullptr);       // copy token with nothing before it
  EXPECT_EQ(Decompress({1, 0x02, 0xB0, 0x02, 'a', 0x00}), nullptr);  // copy token cut in half
  raw.resize(raw.size() - 1);
  EXPECT_EQ(Decompress(Container({raw})), nullptr);  // raw chunk short of 4096 bytes
  // Output past 4096 bytes in one chunk.
  std::vector<Token> tooLong = Literals("ab");
  for (int i = 0; i < 2; ++i) tooLong.push_back(Copy{1, 4098});
  EXPECT_EQ(Decompress(Container({Chunk(tooLong)})), nullptr);
}

// --- the project ---

void Record(Bytes& dir, std::uint16_t id, const Bytes& data) {
  auto n = static_cast<std::uint32_t>(data.size());
  dir.insert(dir.end(), {static_cast<std::uint8_t>(id), static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(n),
                         static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n >> 16),
                         static_cast<std::uint8_t>(n >> 24)});
  dir.insert(dir.end(), data.begin(), data.end());
}

Bytes Str(const std::string& s) { return {s.begin(), s.end()}; }

// Whole 4096-byte pieces as raw chunks, the rest as one chunk of literals.
Bytes Compress(const Bytes& data) {
  std::vector<Bytes> chunks;
  std::size_t at = 0;
  for (; data.size() - at > 3000; at += 4096) {
    Bytes raw = {0xFF, 0x3F};
    raw.insert(raw.end(), data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + 4096));
    chunks.push_back(raw);
  }
  std::vector<Token> tokens;
  for (std::size_t i = at; i < data.size(); ++i) tokens.push_back(data[i]);
  chunks.push_back(Chunk(tokens));
  return Container(chunks);
}

Bytes ProjectDir(std::uint32_t moduleOffset) {
  Bytes dir;
  Record(dir, 0x01, {1, 0, 0, 0});                     // PROJECTSYSKIND
  Record(dir, 0x03, {0xE3, 0x04});                     // PROJECTCODEPAGE 1251
  Record(dir, 0x04, {0xCF, 0xF0, 0xEE, 0xE5, 0xEA, 0xF2});  // PROJECTNAME "Проект"
  Record(dir, 0x05, Str("doc"));                       // PROJECTDOCSTRING and its UTF-16 part
  dir.insert(dir.end(), {0x40, 0x00, 6, 0, 0, 0, 'd', 0, 'o', 0, 'c', 0});
  Record(dir, 0x09, {0, 0, 0, 0});                     // PROJECTVERSION: reserved size 4, 6 bytes
  dir.insert(dir.end(), {1, 0});
  Record(dir, 0x0F, {2, 0});                           // PROJECTMODULES, PROJECTCOOKIE
  dir.insert(dir.end(), {0x13, 0, 2, 0, 0, 0, 0xFF, 0xFF});
  Record(dir, 0x19, {0xCC, 0xEE, 0xE4, '1'});          // MODULENAME "Мод1"
  Record(dir, 0x1A, Str("Module1"));                   // MODULESTREAMNAME
  Record(dir, 0x32, {'M', 0, 'o', 0, 'd', 0, 'u', 0, 'l', 0, 'e', 0, '1', 0});
  Record(dir, 0x31, {static_cast<std::uint8_t>(moduleOffset), 0, 0, 0});  // MODULEOFFSET
  Record(dir, 0x21, {});                               // MODULETYPE
  Record(dir, 0x2B, {});                               // end of module
  Record(dir, 0x19, Str("Gone"));
  Record(dir, 0x1A, Str("Gone"));
  Record(dir, 0x31, {0, 0, 0, 0});
  Record(dir, 0x2B, {});
  Record(dir, 0x10, {});                               // end of dir
  return dir;
}

class VbaProject : public ::testing::Test {
 protected:
  // A compound file with _VBA_PROJECT_CUR/VBA/{_VBA_PROJECT, dir, Module1}, and a workbook
  // stream of empty globals when asked.
  static Bytes File(const Bytes& dir, const Bytes& signature, bool withVba, bool withWorkbook = false) {
    platform::CompoundFileWriter writer;
    if (withWorkbook) {
      // BOF of the globals (BIFF8), EOF.
      Bytes globals = {0x09, 0x08, 16, 0, 0x00, 0x06, 0x05, 0x00};
      globals.resize(globals.size() + 12, 0);
      globals.insert(globals.end(), {0x0A, 0x00, 0, 0});
      writer.StreamData(writer.AddStream(platform::CompoundFileWriter::kRoot, u"Workbook")) = globals;
    }
    int project = writer.AddStorage(platform::CompoundFileWriter::kRoot, u"_VBA_PROJECT_CUR");
    if (withVba) {
      int vba = writer.AddStorage(project, u"VBA");
      writer.StreamData(writer.AddStream(vba, u"_VBA_PROJECT")) = signature;
      writer.StreamData(writer.AddStream(vba, u"dir")) = dir;
      Bytes module = {'p', 'c', 'o', 'd', 'e'};
      Bytes source(5000, 0);
      std::string line = "\xCF\xF0\xE8\xE2\xE5\xF2 = 1\r\n";  // "Привет = 1"
      for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<std::uint8_t>(line[i % line.size()]);
      source[4999] = 0;  // the text ends at a NUL
      Bytes packed = Compress(source);
      module.insert(module.end(), packed.begin(), packed.end());
      writer.StreamData(writer.AddStream(vba, u"Module1")) = module;
    }
    platform::MemoryStream file;
    EXPECT_TRUE(writer.Save(file));
    return file.Bytes();
  }

  // Reads the file back and loads the project storage as the workbook keeps it.
  int Load(const Bytes& dir, const Bytes& signature = {0xCC, 0x61, 0xFF, 0xFF}, bool withVba = true) {
    EXPECT_TRUE(reader_.Open(File(dir, signature, withVba)));
    storage_ = std::make_unique<TXLSFileStorage>(u"_VBA_PROJECT_CUR");
    EXPECT_EQ(storage_->Load(reader_, platform::CompoundFileReader::kRoot), 1);
    return project_.SetStorage(storage_.get());
  }

  platform::CompoundFileReader reader_;
  std::unique_ptr<TXLSFileStorage> storage_;
  TXLSVBAProject project_;
};

TEST_F(VbaProject, ModulesAndNamesInTheProjectCodePage) {
  ASSERT_EQ(Load(Compress(ProjectDir(5))), 1);
  EXPECT_EQ(project_.CodePage(), 1251);
  EXPECT_EQ(project_.ProjectName(), u"Проект");
  ASSERT_EQ(project_.ModuleCount(), 2u);
  EXPECT_EQ(project_.Module(0).name, u"Мод1");
  const std::u16string& text = project_.Module(0).text;
  EXPECT_EQ(text.size(), 4999u);
  EXPECT_EQ(text.substr(0, 12), u"Привет = 1\r\n");
  EXPECT_EQ(text.substr(4980, 12), u"Привет = 1\r\n");
  EXPECT_EQ(project_.Module(1).name, u"Gone");  // its stream is missing: an empty text
  EXPECT_EQ(project_.Module(1).text, u"");
}

TEST_F(VbaProject, DamagedProjectsGiveAnError) {
  EXPECT_EQ(Load(Compress(ProjectDir(5)), {0xCD, 0x61}), -1);  // signature
  EXPECT_EQ(project_.ModuleCount(), 0u);
  EXPECT_EQ(Load(Compress(ProjectDir(5)), {}, false), -1);      // no VBA storage
  EXPECT_EQ(Load(Compress(ProjectDir(7))), -1);                 // text offset inside no container
  EXPECT_EQ(Load(ProjectDir(5)), -1);                           // dir not compressed
  Bytes dir = ProjectDir(5);
  dir.resize(dir.size() - 6);
  Record(dir, 0x19, Str("Long"));
  dir[dir.size() - 6] = 0x40;  // MODULENAME whose size runs past the stream
  EXPECT_EQ(Load(Compress(dir)), -1);
  Bytes doc;
  Record(doc, 0x05, Str("doc"));
  doc.insert(doc.end(), {0x40, 0x00, 0xFF, 0xFF, 0, 0});  // UTF-16 part larger than the stream
  EXPECT_EQ(Load(Compress(doc)), -1);
  Bytes cut;
  Record(cut, 0x05, Str("doc"));
  cut.insert(cut.end(), {0x40, 0x00});  // the size of the UTF-16 part is missing
  EXPECT_EQ(Load(Compress(cut)), -1);
}

// An opened workbook reaches the project of the storage it keeps, read once; a storage without
// a readable project, or none, gives no project.
TEST_F(VbaProject, OpenedWorkbookReachesItsProject) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  platform::MemoryStream file(File(Compress(ProjectDir(5)), {0xCC, 0x61, 0xFF, 0xFF}, true, true));
  ASSERT_EQ(book->OpenStream(file), 1);
  TXLSVBAProject* project = book->GetVBAProject();
  ASSERT_NE(project, nullptr);
  EXPECT_EQ(project->ProjectName(), u"Проект");
  ASSERT_EQ(project->ModuleCount(), 2u);
  EXPECT_EQ(project->Module(0).text.substr(0, 12), u"Привет = 1\r\n");
  EXPECT_EQ(book->GetVBAProject(), project);
  book->ClearVBA();
  EXPECT_EQ(book->GetVBAProject(), nullptr);

  platform::MemoryStream damaged(File(Compress(ProjectDir(5)), {0xCD, 0x61}, true, true));
  ASSERT_EQ(book->OpenStream(damaged), 1);
  EXPECT_TRUE(book->HasVBA());
  EXPECT_EQ(book->GetVBAProject(), nullptr);
}

}  // namespace
}  // namespace xls

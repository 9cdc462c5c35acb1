#include "platform/compound_file.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string_view>

#include "platform/case_fold.h"
#include "platform/little_endian.h"

namespace platform {

namespace {

constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint32_t kFreeSect = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFatSect = 0xFFFFFFFD;
constexpr std::uint32_t kDifSect = 0xFFFFFFFC;
constexpr std::uint32_t kMaxRegSect = 0xFFFFFFFA;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::uint32_t kSectorSize = 512;
constexpr std::uint32_t kMiniSectorSize = 64;
constexpr std::uint32_t kMiniCutoff = 4096;
constexpr std::uint32_t kEntrySize = 128;
constexpr std::uint32_t kHeaderDifat = 109;
constexpr std::uint32_t kPerSector = kSectorSize / 4;  // 128 sector numbers in a sector

std::string Narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

std::string Quoted(const std::u16string& s) {
  std::string q(1, '"');
  q += Narrow(s);
  q += '"';
  return q;
}

bool ShortWrite(ByteStream& out, const void* data, std::size_t n) { return out.Write(data, n) != n; }

}  // namespace

int CompareCompoundNames(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = FoldCase(a[i]), y = FoldCase(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

// ----- writer ---------------------------------------------------------------------------------

CompoundFileWriter::CompoundFileWriter() {
  nodes_.push_back(Node{u"Root Entry", CompoundEntryType::Root, -1, {}, nullptr, {}});
}

int CompoundFileWriter::AddEntry(int parent, const std::u16string& name, CompoundEntryType type,
                                 std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return -1;
  };
  if (parent < 0 || static_cast<std::size_t>(parent) >= nodes_.size() ||
      nodes_[static_cast<std::size_t>(parent)].type == CompoundEntryType::Stream)
    return fail("compound file: the parent of " + Quoted(name) + " is not a storage");
  if (name.empty() || name.size() > 31)
    return fail("compound file: the name " + Quoted(name) + " must have 1 to 31 characters");
  for (char16_t c : name)
    if (c == u'/' || c == u'\\' || c == u':' || c == u'!')
      return fail("compound file: the name " + Quoted(name) + " holds one of / \\ : !");
  if (Find(parent, name) >= 0) return fail("compound file: " + Quoted(name) + " exists already");
  int id = static_cast<int>(nodes_.size());
  nodes_.push_back(Node{name, type, parent, {},
                        type == CompoundEntryType::Stream ? std::make_unique<MemoryStream>() : nullptr, {}});
  nodes_[static_cast<std::size_t>(parent)].children.push_back(id);
  return id;
}

int CompoundFileWriter::AddStorage(int parent, const std::u16string& name, std::string* error) {
  return AddEntry(parent, name, CompoundEntryType::Storage, error);
}

int CompoundFileWriter::AddStream(int parent, const std::u16string& name, std::string* error) {
  return AddEntry(parent, name, CompoundEntryType::Stream, error);
}

void CompoundFileWriter::SetClassId(int entry, const std::array<std::uint8_t, 16>& classId) {
  if (entry < 0 || static_cast<std::size_t>(entry) >= nodes_.size()) return;
  Node& node = nodes_[static_cast<std::size_t>(entry)];
  if (node.type != CompoundEntryType::Stream) node.classId = classId;
}

std::vector<std::uint8_t>& CompoundFileWriter::StreamData(int stream) { return Stream(stream).Bytes(); }

MemoryStream& CompoundFileWriter::Stream(int stream) {
  Node& n = nodes_.at(static_cast<std::size_t>(stream));
  if (!n.data) throw std::invalid_argument("compound file: entry is not a stream");
  return *n.data;
}

int CompoundFileWriter::Find(int storage, const std::u16string& name) const {
  if (storage < 0 || static_cast<std::size_t>(storage) >= nodes_.size()) return -1;
  for (int c : nodes_[static_cast<std::size_t>(storage)].children)
    if (CompareCompoundNames(nodes_[static_cast<std::size_t>(c)].name, name) == 0) return c;
  return -1;
}

FileResult CompoundFileWriter::Save(ByteStream& out) const {
  const std::size_t n = nodes_.size();
  for (std::size_t i = 1; i < n; ++i)
    if (nodes_[i].data && nodes_[i].data->Bytes().size() > 0xFFFFFFFFull)
      return FileResult::Failure("compound file: stream " + Quoted(nodes_[i].name) + " is 4 GB or larger");

  // Sizes: small streams go to the mini stream, the others get sectors of their own.
  std::uint64_t miniSectors = 0, bigSectors = 0;
  for (std::size_t i = 1; i < n; ++i) {
    if (!nodes_[i].data) continue;
    std::uint64_t size = nodes_[i].data->Bytes().size();
    if (size < kMiniCutoff) miniSectors += (size + kMiniSectorSize - 1) / kMiniSectorSize;
    else bigSectors += (size + kSectorSize - 1) / kSectorSize;
  }
  const std::uint64_t dirSectors = (n * kEntrySize + kSectorSize - 1) / kSectorSize;
  const std::uint64_t miniFatSectors = (miniSectors * 4 + kSectorSize - 1) / kSectorSize;
  const std::uint64_t miniStreamBytes = miniSectors * kMiniSectorSize;
  const std::uint64_t miniStreamSectors = (miniStreamBytes + kSectorSize - 1) / kSectorSize;
  const std::uint64_t dataSectors = dirSectors + miniFatSectors + miniStreamSectors + bigSectors;
  std::uint64_t fatSectors = 0, difatSectors = 0;
  for (;;) {
    std::uint64_t f = (dataSectors + fatSectors + difatSectors + kPerSector - 1) / kPerSector;
    std::uint64_t d = f > kHeaderDifat ? (f - kHeaderDifat + kPerSector - 2) / (kPerSector - 1) : 0;
    if (f == fatSectors && d == difatSectors) break;
    fatSectors = f;
    difatSectors = d;
  }
  const std::uint64_t total = fatSectors + difatSectors + dataSectors;
  if (total >= kMaxRegSect) return FileResult::Failure("compound file: too large");

  // Sector layout: FAT, DIFAT, directory, mini FAT, mini stream, then the large streams in
  // entry order. Every chain is contiguous.
  std::vector<std::uint32_t> fat(static_cast<std::size_t>(fatSectors * kPerSector), kFreeSect);
  std::uint32_t next = 0;
  for (std::uint64_t i = 0; i < fatSectors; ++i) fat[next++] = kFatSect;
  for (std::uint64_t i = 0; i < difatSectors; ++i) fat[next++] = kDifSect;
  auto chain = [&](std::uint64_t count) -> std::uint32_t {
    if (count == 0) return kEndOfChain;
    std::uint32_t first = next;
    for (std::uint64_t i = 0; i < count; ++i, ++next) fat[next] = i + 1 < count ? next + 1 : kEndOfChain;
    return first;
  };
  const std::uint32_t dirStart = chain(dirSectors);
  const std::uint32_t miniFatStart = chain(miniFatSectors);
  const std::uint32_t miniStreamStart = chain(miniStreamSectors);
  std::vector<std::uint32_t> start(n, 0);
  std::vector<std::uint32_t> miniFat(static_cast<std::size_t>(miniFatSectors * kPerSector), kFreeSect);
  std::uint32_t nextMini = 0;
  for (std::size_t i = 1; i < n; ++i) {
    if (!nodes_[i].data) continue;
    std::uint64_t size = nodes_[i].data->Bytes().size();
    if (size == 0) {
      start[i] = kEndOfChain;
    } else if (size < kMiniCutoff) {
      std::uint32_t count = static_cast<std::uint32_t>((size + kMiniSectorSize - 1) / kMiniSectorSize);
      start[i] = nextMini;
      for (std::uint32_t k = 0; k < count; ++k, ++nextMini)
        miniFat[nextMini] = k + 1 < count ? nextMini + 1 : kEndOfChain;
    } else {
      start[i] = chain((size + kSectorSize - 1) / kSectorSize);
    }
  }
  start[0] = miniStreamSectors ? miniStreamStart : kEndOfChain;

  // Directory: each storage's children as a balanced tree in name order. Nodes on the deepest
  // level of a tree are red and all others black, which keeps every path's black count equal.
  std::vector<std::uint32_t> left(n, kNoStream), right(n, kNoStream), child(n, kNoStream);
  std::vector<std::uint8_t> colour(n, 1);
  for (std::size_t s = 0; s < n; ++s) {
    std::vector<int> kids = nodes_[s].children;
    if (kids.empty()) continue;
    std::sort(kids.begin(), kids.end(), [&](int a, int b) {
      return CompareCompoundNames(nodes_[static_cast<std::size_t>(a)].name, nodes_[static_cast<std::size_t>(b)].name) < 0;
    });
    std::vector<std::pair<int, int>> placed;  // id, depth
    int maxDepth = 0;
    std::function<std::uint32_t(int, int, int)> build = [&](int lo, int hi, int depth) -> std::uint32_t {
      if (lo > hi) return kNoStream;
      int mid = lo + (hi - lo + 1) / 2;
      int id = kids[static_cast<std::size_t>(mid)];
      placed.emplace_back(id, depth);
      maxDepth = std::max(maxDepth, depth);
      left[static_cast<std::size_t>(id)] = build(lo, mid - 1, depth + 1);
      right[static_cast<std::size_t>(id)] = build(mid + 1, hi, depth + 1);
      return static_cast<std::uint32_t>(id);
    };
    child[s] = build(0, static_cast<int>(kids.size()) - 1, 0);
    for (auto [id, depth] : placed) colour[static_cast<std::size_t>(id)] = (depth == maxDepth && depth > 0) ? 0 : 1;
  }

  std::vector<std::uint8_t> dir(static_cast<std::size_t>(dirSectors * kSectorSize), 0);
  for (std::size_t i = 0; i < dir.size() / kEntrySize; ++i) {
    std::uint8_t* e = dir.data() + i * kEntrySize;
    StoreLE32(e + 68, kNoStream);
    StoreLE32(e + 72, kNoStream);
    StoreLE32(e + 76, kNoStream);
    if (i >= n) continue;
    const Node& node = nodes_[i];
    for (std::size_t k = 0; k < node.name.size(); ++k) StoreLE16(e + 2 * k, node.name[k]);
    StoreLE16(e + 64, static_cast<std::uint32_t>(2 * (node.name.size() + 1)));
    e[66] = static_cast<std::uint8_t>(node.type);
    e[67] = colour[i];
    StoreLE32(e + 68, left[i]);
    StoreLE32(e + 72, right[i]);
    StoreLE32(e + 76, child[i]);
    std::memcpy(e + 80, node.classId.data(), node.classId.size());
    if (node.type == CompoundEntryType::Storage) continue;  // storages have no data
    std::uint64_t size = i == 0 ? miniStreamBytes : node.data->Bytes().size();
    StoreLE32(e + 116, start[i]);
    StoreLE32(e + 120, static_cast<std::uint32_t>(size));
  }

  // Header with the first 109 FAT sector numbers; the rest go to the DIFAT sectors.
  std::vector<std::uint8_t> header(kSectorSize, 0);
  std::memcpy(header.data(), kSignature, 8);
  StoreLE16(&header[24], 0x003E);
  StoreLE16(&header[26], 3);
  StoreLE16(&header[28], 0xFFFE);
  StoreLE16(&header[30], 9);
  StoreLE16(&header[32], 6);
  StoreLE32(&header[44], static_cast<std::uint32_t>(fatSectors));
  StoreLE32(&header[48], dirStart);
  StoreLE32(&header[56], kMiniCutoff);
  StoreLE32(&header[60], miniFatSectors ? miniFatStart : kEndOfChain);
  StoreLE32(&header[64], static_cast<std::uint32_t>(miniFatSectors));
  StoreLE32(&header[68], difatSectors ? static_cast<std::uint32_t>(fatSectors) : kEndOfChain);
  StoreLE32(&header[72], static_cast<std::uint32_t>(difatSectors));
  for (std::uint32_t i = 0; i < kHeaderDifat; ++i)
    StoreLE32(&header[76 + 4 * i], i < fatSectors ? i : kFreeSect);
  std::vector<std::uint8_t> difat(static_cast<std::size_t>(difatSectors * kSectorSize), 0);
  for (std::uint64_t d = 0; d < difatSectors; ++d) {
    std::uint8_t* s = difat.data() + d * kSectorSize;
    for (std::uint32_t k = 0; k < kPerSector - 1; ++k) {
      std::uint64_t fatIndex = kHeaderDifat + d * (kPerSector - 1) + k;
      StoreLE32(s + 4 * k, fatIndex < fatSectors ? static_cast<std::uint32_t>(fatIndex) : kFreeSect);
    }
    StoreLE32(s + 4 * (kPerSector - 1), d + 1 < difatSectors ? static_cast<std::uint32_t>(fatSectors + d + 1) : kEndOfChain);
  }
  std::vector<std::uint8_t> fatBytes(fat.size() * 4);
  for (std::size_t i = 0; i < fat.size(); ++i) StoreLE32(&fatBytes[4 * i], fat[i]);
  std::vector<std::uint8_t> miniFatBytes(miniFat.size() * 4);
  for (std::size_t i = 0; i < miniFat.size(); ++i) StoreLE32(&miniFatBytes[4 * i], miniFat[i]);

  // Write everything in sector order, padding each run to whole (mini) sectors.
  static const std::uint8_t kZeros[kSectorSize] = {};
  auto pad = [&](std::uint64_t written, std::uint32_t unit) {
    std::uint64_t rest = (unit - written % unit) % unit;
    return rest == 0 || !ShortWrite(out, kZeros, static_cast<std::size_t>(rest));
  };
  const FileResult writeFailed = FileResult::Failure("compound file: write failed");
  if (ShortWrite(out, header.data(), header.size()) || ShortWrite(out, fatBytes.data(), fatBytes.size()) ||
      ShortWrite(out, difat.data(), difat.size()) || ShortWrite(out, dir.data(), dir.size()) ||
      ShortWrite(out, miniFatBytes.data(), miniFatBytes.size()))
    return writeFailed;
  std::uint64_t miniWritten = 0;
  for (std::size_t i = 1; i < n; ++i) {
    if (!nodes_[i].data) continue;
    const auto& bytes = nodes_[i].data->Bytes();
    if (bytes.empty() || bytes.size() >= kMiniCutoff) continue;
    if (ShortWrite(out, bytes.data(), bytes.size()) || !pad(bytes.size(), kMiniSectorSize)) return writeFailed;
    miniWritten += (bytes.size() + kMiniSectorSize - 1) / kMiniSectorSize * kMiniSectorSize;
  }
  if (!pad(miniWritten, kSectorSize)) return writeFailed;
  for (std::size_t i = 1; i < n; ++i) {
    if (!nodes_[i].data) continue;
    const auto& bytes = nodes_[i].data->Bytes();
    if (bytes.size() < kMiniCutoff) continue;
    if (ShortWrite(out, bytes.data(), bytes.size()) || !pad(bytes.size(), kSectorSize)) return writeFailed;
  }
  return {};
}

FileResult CompoundFileWriter::SaveToFile(const std::string& path) const {
  MemoryStream buffer;
  FileResult r = Save(buffer);
  if (!r) return r;
  return WriteFileAtomically(path, buffer.Bytes().data(), buffer.Bytes().size());
}

// ----- reader ---------------------------------------------------------------------------------

bool CompoundFileReader::HasSignature(const std::vector<std::uint8_t>& bytes) {
  return bytes.size() >= 8 && std::memcmp(bytes.data(), kSignature, 8) == 0;
}

FileResult CompoundFileReader::Open(std::vector<std::uint8_t> bytes) {
  bytes_ = std::move(bytes);
  FileResult r = Parse();
  if (!r) {
    bytes_.clear();
    fat_.clear();
    miniFat_.clear();
    miniStream_.clear();
    entries_.clear();
    version_ = 0;
  }
  return r;
}

FileResult CompoundFileReader::OpenFile(const std::string& path) {
  std::vector<std::uint8_t> data;
  FileResult r = ReadWholeFile(path, data, std::size_t(1) << 32);
  if (!r) return r;
  return Open(std::move(data));
}

FileResult CompoundFileReader::OpenStream(ByteStream& in) {
  std::vector<std::uint8_t> data;
  std::uint8_t buffer[65536];
  for (;;) {
    std::size_t got = in.Read(buffer, sizeof buffer);
    if (got == 0) break;
    data.insert(data.end(), buffer, buffer + got);
  }
  return Open(std::move(data));
}

const std::uint8_t* CompoundFileReader::Sector(std::uint32_t index) const {
  std::uint64_t offset = (static_cast<std::uint64_t>(index) + 1) * sectorSize_;
  if (index >= sectorCount_ || offset + sectorSize_ > bytes_.size()) return nullptr;
  return bytes_.data() + offset;
}

namespace {

// Follows a chain through an allocation table; every sector must lie below limit, and a chain
// longer than limit sectors must run in a circle.
FileResult WalkChain(const std::vector<std::uint32_t>& table, std::uint64_t limit, std::uint32_t start,
                     std::vector<std::uint32_t>& sectors, const std::string& what, const char* where) {
  sectors.clear();
  for (std::uint32_t s = start; s != kEndOfChain; s = table[s]) {
    if (s >= table.size() || s >= limit)
      return FileResult::Failure("compound file: the " + what + " leaves the " + where);
    if (sectors.size() >= limit) return FileResult::Failure("compound file: the " + what + " runs in a circle");
    sectors.push_back(s);
  }
  return {};
}

}  // namespace

FileResult CompoundFileReader::Chain(std::uint32_t start, std::vector<std::uint32_t>& sectors,
                                     const char* what) const {
  return WalkChain(fat_, sectorCount_, start, sectors, std::string("chain of ") + what, "file");
}

FileResult CompoundFileReader::MiniChain(std::uint32_t start, std::vector<std::uint32_t>& sectors,
                                         const char* what) const {
  return WalkChain(miniFat_, miniStream_.size() / kMiniSectorSize, start, sectors,
                   std::string("mini chain of ") + what, "mini stream");
}

FileResult CompoundFileReader::Parse() {
  if (bytes_.size() < kSectorSize || !HasSignature(bytes_))
    return FileResult::Failure("not a compound file");
  const std::uint8_t* h = bytes_.data();  // taken again after the padding below
  version_ = LoadLE16(h + 26);
  // FE FF is the little-endian mark every reader expects; FF FE is the same mark written the
  // wrong way round by some writers, whose files are little-endian all the same.
  if (LoadLE16(h + 28) != 0xFFFE && LoadLE16(h + 28) != 0xFEFF)
    return FileResult::Failure("compound file: unknown byte order");
  std::uint16_t shift = LoadLE16(h + 30);
  if (!((version_ == 3 && shift == 9) || (version_ == 4 && shift == 12)))
    return FileResult::Failure("compound file: unsupported version " + std::to_string(version_) +
                               " with sector shift " + std::to_string(shift));
  if (LoadLE16(h + 32) != 6) return FileResult::Failure("compound file: unsupported mini sector size");
  sectorSize_ = 1u << shift;
  if (bytes_.size() < sectorSize_) return FileResult::Failure("compound file: truncated header");
  // A last sector cut short is read as if padded with zeros.
  std::uint64_t sectors = (bytes_.size() - sectorSize_ + sectorSize_ - 1) / sectorSize_;
  bytes_.resize(static_cast<std::size_t>((sectors + 1) * sectorSize_), 0);
  h = bytes_.data();
  sectorCount_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(sectors, kMaxRegSect));
  miniCutoff_ = LoadLE32(h + 56);
  if (miniCutoff_ != kMiniCutoff) return FileResult::Failure("compound file: unsupported mini stream cutoff");

  // FAT sector numbers: 109 in the header, the rest in the DIFAT chain.
  const std::uint32_t fatCount = LoadLE32(h + 44);
  const std::uint32_t perSector = sectorSize_ / 4;
  if (fatCount > sectorCount_) return FileResult::Failure("compound file: more FAT sectors than the file holds");
  std::vector<std::uint32_t> fatSectors;
  for (std::uint32_t i = 0; i < kHeaderDifat && fatSectors.size() < fatCount; ++i)
    fatSectors.push_back(LoadLE32(h + 76 + 4 * i));
  std::uint32_t difat = LoadLE32(h + 68);
  std::uint32_t difatSeen = 0;
  while (fatSectors.size() < fatCount) {
    const std::uint8_t* s = difat == kEndOfChain ? nullptr : Sector(difat);
    if (!s) return FileResult::Failure("compound file: the DIFAT chain leaves the file");
    if (++difatSeen > sectorCount_) return FileResult::Failure("compound file: the DIFAT chain runs in a circle");
    for (std::uint32_t k = 0; k + 1 < perSector && fatSectors.size() < fatCount; ++k)
      fatSectors.push_back(LoadLE32(s + 4 * k));
    difat = LoadLE32(s + 4 * (perSector - 1));
  }
  fat_.clear();
  fat_.reserve(static_cast<std::size_t>(fatCount) * perSector);
  for (std::uint32_t f : fatSectors) {
    const std::uint8_t* s = Sector(f);
    if (!s) return FileResult::Failure("compound file: a FAT sector lies outside the file");
    for (std::uint32_t k = 0; k < perSector; ++k) fat_.push_back(LoadLE32(s + 4 * k));
  }

  // Directory.
  std::vector<std::uint32_t> chain;
  FileResult r = Chain(LoadLE32(h + 48), chain, "the directory");
  if (!r) return r;
  if (chain.empty()) return FileResult::Failure("compound file: no directory");
  const std::uint32_t perDirSector = sectorSize_ / kEntrySize;
  entries_.clear();
  entries_.reserve(chain.size() * perDirSector);
  for (std::uint32_t s : chain) {
    const std::uint8_t* sec = Sector(s);
    for (std::uint32_t k = 0; k < perDirSector; ++k) {
      const std::uint8_t* e = sec + k * kEntrySize;
      Entry entry;
      std::uint16_t nameBytes = LoadLE16(e + 64);
      if (nameBytes > 64) nameBytes = 64;
      for (std::uint16_t c = 0; c + 1 < nameBytes; c += 2) {
        char16_t unit = LoadLE16(e + c);
        if (unit == 0) break;
        entry.name.push_back(unit);
      }
      std::uint8_t type = e[66];
      entry.type = (type == 1 || type == 2 || type == 5) ? static_cast<CompoundEntryType>(type) : CompoundEntryType::Empty;
      entry.left = LoadLE32(e + 68);
      entry.right = LoadLE32(e + 72);
      entry.child = LoadLE32(e + 76);
      std::memcpy(entry.classId.data(), e + 80, entry.classId.size());
      entry.start = LoadLE32(e + 116);
      entry.size = version_ == 3 ? LoadLE32(e + 120) : (LoadLE32(e + 120) | (static_cast<std::uint64_t>(LoadLE32(e + 124)) << 32));
      entries_.push_back(std::move(entry));
    }
  }
  if (entries_[0].type != CompoundEntryType::Root) return FileResult::Failure("compound file: no root entry");

  // Mini FAT and mini stream (the root entry's data).
  // Files without small streams may leave the mini FAT and mini stream starts unset.
  chain.clear();
  if (LoadLE32(h + 64) != 0) {
    r = Chain(LoadLE32(h + 60), chain, "the mini FAT");
    if (!r) return r;
  }
  miniFat_.clear();
  for (std::uint32_t s : chain) {
    const std::uint8_t* sec = Sector(s);
    for (std::uint32_t k = 0; k < perSector; ++k) miniFat_.push_back(LoadLE32(sec + 4 * k));
  }
  const Entry& root = entries_[0];
  chain.clear();
  if (root.size != 0) {
    r = Chain(root.start, chain, "the mini stream");
    if (!r) return r;
  }
  if (root.size > static_cast<std::uint64_t>(chain.size()) * sectorSize_)
    return FileResult::Failure("compound file: the mini stream is shorter than its size");
  miniStream_.clear();
  miniStream_.reserve(chain.size() * sectorSize_);
  for (std::uint32_t s : chain) {
    const std::uint8_t* sec = Sector(s);
    miniStream_.insert(miniStream_.end(), sec, sec + sectorSize_);
  }
  miniStream_.resize(static_cast<std::size_t>(root.size));
  return ReadTree();
}

FileResult CompoundFileReader::ReadTree() {
  // Every entry reached belongs to exactly one storage; reaching one twice means the tree
  // holds a loop or shares an entry, either of which would make walks endless.
  std::vector<bool> seen(entries_.size(), false);
  seen[0] = true;
  std::vector<int> storages = {0};
  while (!storages.empty()) {
    int storage = storages.back();
    storages.pop_back();
    std::vector<int>& children = entries_[static_cast<std::size_t>(storage)].children;
    // In-order walk of the sibling tree with an explicit stack.
    std::vector<std::uint32_t> stack;
    std::uint32_t node = entries_[static_cast<std::size_t>(storage)].child;
    while (node != kNoStream || !stack.empty()) {
      while (node != kNoStream) {
        if (node >= entries_.size()) return FileResult::Failure("compound file: a directory link leaves the directory");
        if (seen[node]) return FileResult::Failure("compound file: the directory tree has a loop");
        if (entries_[node].type == CompoundEntryType::Empty || entries_[node].type == CompoundEntryType::Root)
          return FileResult::Failure("compound file: the directory tree links an unused entry");
        seen[node] = true;
        stack.push_back(node);
        node = entries_[node].left;
      }
      std::uint32_t top = stack.back();
      stack.pop_back();
      children.push_back(static_cast<int>(top));
      if (entries_[top].type == CompoundEntryType::Storage) storages.push_back(static_cast<int>(top));
      node = entries_[top].right;
    }
  }
  return {};
}

int CompoundFileReader::Find(int storage, const std::u16string& name) const {
  if (storage < 0 || static_cast<std::size_t>(storage) >= entries_.size()) return -1;
  for (int c : entries_[static_cast<std::size_t>(storage)].children)
    if (CompareCompoundNames(entries_[static_cast<std::size_t>(c)].name, name) == 0) return c;
  return -1;
}

FileResult CompoundFileReader::ReadStream(int id, std::vector<std::uint8_t>& out) const {
  out.clear();
  if (id < 0 || static_cast<std::size_t>(id) >= entries_.size() ||
      entries_[static_cast<std::size_t>(id)].type != CompoundEntryType::Stream)
    return FileResult::Failure("compound file: no such stream");
  const Entry& e = entries_[static_cast<std::size_t>(id)];
  std::string what = "stream " + Quoted(e.name);
  std::vector<std::uint32_t> chain;
  if (e.size < miniCutoff_) {
    if (e.size == 0) return {};
    FileResult r = MiniChain(e.start, chain, what.c_str());
    if (!r) return r;
    if (e.size > static_cast<std::uint64_t>(chain.size()) * kMiniSectorSize)
      return FileResult::Failure("compound file: " + what + " is shorter than its size");
    out.reserve(static_cast<std::size_t>(e.size));
    for (std::uint32_t s : chain) {
      const std::uint8_t* p = miniStream_.data() + static_cast<std::size_t>(s) * kMiniSectorSize;
      std::size_t take = std::min<std::uint64_t>(kMiniSectorSize, e.size - out.size());
      out.insert(out.end(), p, p + take);
    }
    return {};
  }
  FileResult r = Chain(e.start, chain, what.c_str());
  if (!r) return r;
  if (e.size > static_cast<std::uint64_t>(chain.size()) * sectorSize_)
    return FileResult::Failure("compound file: " + what + " is shorter than its size");
  out.reserve(static_cast<std::size_t>(e.size));
  for (std::uint32_t s : chain) {
    const std::uint8_t* p = Sector(s);
    std::size_t take = std::min<std::uint64_t>(sectorSize_, e.size - out.size());
    out.insert(out.end(), p, p + take);
    if (out.size() == e.size) break;
  }
  return {};
}

bool CompoundFileReader::StreamInPlace(int id, const std::uint8_t*& data, std::size_t& size) const {
  data = nullptr;
  size = 0;
  if (id < 0 || static_cast<std::size_t>(id) >= entries_.size()) return false;
  const Entry& e = entries_[static_cast<std::size_t>(id)];
  if (e.type != CompoundEntryType::Stream || e.size < miniCutoff_) return false;
  std::vector<std::uint32_t> chain;
  if (!Chain(e.start, chain, "the stream")) return false;
  const std::uint64_t needed = (e.size + sectorSize_ - 1) / sectorSize_;
  if (needed > chain.size()) return false;
  for (std::uint64_t k = 1; k < needed; ++k)
    if (chain[k] != chain[0] + k) return false;
  const std::uint8_t* first = Sector(chain[0]);
  const std::uint8_t* last = Sector(chain[static_cast<std::size_t>(needed - 1)]);
  if (!first || !last) return false;
  data = first;
  size = static_cast<std::size_t>(e.size);
  return true;
}

}  // namespace platform

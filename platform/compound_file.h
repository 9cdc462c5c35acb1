// Compound files (the structured-storage container that BIFF workbooks live in): a writer that
// produces version 3 files (512-byte sectors) and a reader for versions 3 and 4.
//
// A compound file is a small file system: a header, a sector allocation table (FAT) whose own
// sectors are listed in the header and, past 109 of them, in a chain of DIFAT sectors; a
// directory of 128-byte entries whose storages hold their children as a red-black tree; and
// a mini stream (64-byte sectors with their own allocation table) for streams under 4096 bytes.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/byte_stream.h"

namespace platform {

enum class CompoundEntryType : std::uint8_t { Empty = 0, Storage = 1, Stream = 2, Root = 5 };

// Orders sibling names as the format does: shorter names first, then by upper-cased code unit
// (FoldCase, which gives each letter its capital).
int CompareCompoundNames(const std::u16string& a, const std::u16string& b);

class CompoundFileWriter {
 public:
  static constexpr int kRoot = 0;

  CompoundFileWriter();

  // Adds an entry under a storage; the id of the new entry, or -1 with error set (parent not a
  // storage, name empty, longer than 31 characters or holding / \ : !, or a sibling of the same
  // name without regard to case).
  int AddStorage(int parent, const std::u16string& name, std::string* error = nullptr);
  int AddStream(int parent, const std::u16string& name, std::string* error = nullptr);
  // The class id (CLSID) that a storage entry (or the root) carries; all zeros unless set.
  void SetClassId(int entry, const std::array<std::uint8_t, 16>& classId);
  // The bytes of a stream entry; callers append to them freely until Save.
  std::vector<std::uint8_t>& StreamData(int stream);
  // A stream view of a stream entry's bytes.
  MemoryStream& Stream(int stream);
  int Find(int storage, const std::u16string& name) const;

  // Writes the whole file; every short write is reported.
  FileResult Save(ByteStream& out) const;
  // Writes the file through a temporary file renamed over the target when complete.
  FileResult SaveToFile(const std::string& path) const;

 private:
  struct Node {
    std::u16string name;
    CompoundEntryType type;
    int parent;
    std::vector<int> children;
    std::unique_ptr<MemoryStream> data;  // streams only; stays put while entries are added
    std::array<std::uint8_t, 16> classId;
  };
  int AddEntry(int parent, const std::u16string& name, CompoundEntryType type, std::string* error);

  std::vector<Node> nodes_;
};

class CompoundFileReader {
 public:
  struct Entry {
    std::u16string name;
    CompoundEntryType type = CompoundEntryType::Empty;
    std::uint32_t left = 0xFFFFFFFF, right = 0xFFFFFFFF, child = 0xFFFFFFFF;
    std::uint32_t start = 0;
    std::uint64_t size = 0;
    std::array<std::uint8_t, 16> classId{};  // of a storage: the class of its object
    std::vector<int> children;  // in tree order
  };

  // Opens a compound file held in memory / read from a file / read from a stream's current
  // position to its end. On failure the reader holds nothing and the error says why.
  FileResult Open(std::vector<std::uint8_t> bytes);
  FileResult OpenFile(const std::string& path);
  FileResult OpenStream(ByteStream& in);
  // True when the bytes start with the compound-file signature.
  static bool HasSignature(const std::vector<std::uint8_t>& bytes);

  int Version() const { return version_; }
  const std::vector<Entry>& Entries() const { return entries_; }
  const Entry& GetEntry(int id) const { return entries_.at(static_cast<std::size_t>(id)); }
  static constexpr int kRoot = 0;
  // The child of a storage with the name, compared without regard to case; -1 when absent.
  int Find(int storage, const std::u16string& name) const;
  // The whole stream; a stream whose chain ends before its size is a failure.
  FileResult ReadStream(int entry, std::vector<std::uint8_t>& out) const;
  // The stream's bytes in place when its sectors follow one another in the file (a writer
  // that writes one stream at a time leaves them so): data and size, valid while the reader
  // lives and is not opened again. False for any other stream, which ReadStream copies.
  bool StreamInPlace(int entry, const std::uint8_t*& data, std::size_t& size) const;

 private:
  FileResult Parse();
  FileResult Chain(std::uint32_t start, std::vector<std::uint32_t>& sectors, const char* what) const;
  FileResult MiniChain(std::uint32_t start, std::vector<std::uint32_t>& sectors, const char* what) const;
  FileResult ReadTree();
  const std::uint8_t* Sector(std::uint32_t index) const;

  std::vector<std::uint8_t> bytes_;
  int version_ = 0;
  std::uint32_t sectorSize_ = 512;
  std::uint32_t sectorCount_ = 0;
  std::uint32_t miniCutoff_ = 4096;
  std::vector<std::uint32_t> fat_;
  std::vector<std::uint32_t> miniFat_;
  std::vector<std::uint8_t> miniStream_;
  std::vector<Entry> entries_;
};

}  // namespace platform

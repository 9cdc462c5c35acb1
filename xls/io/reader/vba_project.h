// The macro (VBA) project of a workbook read from a file: the project's name, code page and
// modules with their source text, read from the kept project storage as the published VBA
// file format lays it out ("_VBA_PROJECT" signature, the compressed "dir" stream with its
// records, the compressed module streams). Read-only; every read stays inside its buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/model/blob.h"
#include "xls/model/file_streams.h"

namespace xls {

// The published VBA stream compression: a signature byte 1, then chunks of up to 4096 bytes,
// each a 16-bit header (size, signature 3, compressed flag) and either flag bytes with up to
// eight literal bytes or copy tokens each, or 4096 raw bytes.
class TXLSVBADecompressor {
 public:
  static constexpr std::uint32_t kChunkSize = 4096;

  TXLSVBADecompressor(const TXLSBlob& source, std::uint32_t startOffset);
  // The decompressed bytes, or nullptr when the container is damaged: a bad signature, a chunk
  // that is cut short, a copy token that reaches before its chunk, output past 4096 bytes.
  std::unique_ptr<TXLSBlob> Decompress();

 private:
  bool DecompressChunk();

  const TXLSBlob& source_;
  TXLSBlobList output_;
  std::vector<std::uint8_t> chunk_;
  std::uint32_t position_;
  std::uint32_t chunkEnd_ = 0;
  std::uint32_t sourceSize_;
};

struct TXLSVBAModule {
  std::u16string name;
  std::u16string text;
};

class TXLSVBAProject {
 public:
  // Keeps the storage (not owned) and reads the project: 1, or -1 when the storage holds no
  // readable project (no "VBA" storage or "_VBA_PROJECT" stream, a bad signature, a damaged
  // "dir" stream or module stream, a dir record that overruns the stream).
  int SetStorage(const TXLSFileStorage* storage);

  const TXLSFileStorage* Storage() const { return storage_; }
  std::size_t ModuleCount() const { return modules_.size(); }
  const TXLSVBAModule& Module(std::size_t i) const { return modules_.at(i); }
  std::uint16_t CodePage() const { return codePage_; }
  const std::u16string& ProjectName() const { return projectName_; }

 private:
  int ReadProject();
  int ReadDir(const TXLSBlob& dir);
  int CompleteModule();
  std::u16string Text(const TXLSBlob& blob, std::uint32_t at, std::uint32_t length) const;

  const TXLSFileStorage* storage_ = nullptr;
  const TXLSFileStorage* vba_ = nullptr;
  std::vector<TXLSVBAModule> modules_;
  std::uint16_t codePage_ = 1252;
  std::u16string projectName_;
  std::u16string moduleName_;
  std::u16string moduleStreamName_;
  std::int64_t moduleTextOffset_ = -1;
};

}  // namespace xls

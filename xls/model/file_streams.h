// Files opened by wide-string names, and in-memory copies of parts of a compound file (a
// storage with its sub-storages and streams) that are loaded from one file and saved into
// another; the workbook keeps the macro project and the controls stream of an opened file so.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/byte_stream.h"
#include "platform/compound_file.h"
#include "xls/model/blob.h"

namespace xls {

class EFCreateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class EFOpenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr std::uint32_t kFileCreate = 0xFFFF;

// Opens an existing file. Mode bits 0-1 select the access (0 read, 1 write, 2 both; 3 is
// refused); bits 4-7 the sharing, which POSIX files do not enforce. The descriptor, or -1.
int WideFileOpen(const std::u16string& fileName, std::uint32_t mode);

// A stream over an operating-system file.
class TWFileStream : public platform::ByteStream {
 public:
  // kFileCreate creates or truncates the file; any other mode opens it through WideFileOpen.
  // Throws EFCreateError "Cannot create file <name>" or EFOpenError "Cannot open file <name>".
  TWFileStream(const std::u16string& fileName, std::uint32_t mode);
  ~TWFileStream() override;
  TWFileStream(const TWFileStream&) = delete;
  TWFileStream& operator=(const TWFileStream&) = delete;

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* data, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, platform::SeekOrigin origin) override;

 private:
  int fd_ = -1;
};

void WriteStringToStream(platform::ByteStream& stream, const std::string& text);
void WideStringReplace(const std::u16string& text, const std::u16string& pattern,
                       const std::u16string& replacement, std::u16string& result);
inline bool Succeeded(std::int32_t result) { return result >= 0; }

class TXLSFileItem {
 public:
  explicit TXLSFileItem(std::u16string name) : name_(std::move(name)) {}
  virtual ~TXLSFileItem() = default;
  // 1 on success, -1 on failure.
  virtual int Load(const platform::CompoundFileReader& file, int parentStorage) = 0;
  virtual int Save(platform::CompoundFileWriter& file, int parentStorage) const = 0;
  const std::u16string& Name() const { return name_; }

 private:
  std::u16string name_;
};

class TXLSFileStream : public TXLSFileItem {
 public:
  TXLSFileStream(std::u16string name, std::uint32_t size) : TXLSFileItem(std::move(name)), size_(size) {}
  static std::unique_ptr<TXLSFileStream> CreateAutoSize(std::u16string name);
  // A stream that holds fewer bytes than the item's size fails to load.
  int Load(const platform::CompoundFileReader& file, int parentStorage) override;
  int Save(platform::CompoundFileWriter& file, int parentStorage) const override;
  const TXLSBlob* Data() const { return data_.get(); }
  std::uint32_t Size() const { return size_; }

 private:
  std::unique_ptr<TXLSBlob> data_;
  std::uint32_t size_ = 0;
  bool autoSize_ = false;
};

class TXLSFileStorage : public TXLSFileItem {
 public:
  explicit TXLSFileStorage(std::u16string name) : TXLSFileItem(std::move(name)) {}
  int Load(const platform::CompoundFileReader& file, int parentStorage) override;
  int Save(platform::CompoundFileWriter& file, int parentStorage) const override;
  // The child of that name, compared in 8-bit lower case; nullptr when absent.
  TXLSFileItem* FindItem(const std::u16string& name) const;
  std::size_t ChildCount() const { return children_.size(); }
  TXLSFileItem* Child(std::size_t i) const { return children_.at(i).get(); }
  // The class id of the storage as loaded (that of the object an embedding storage holds).
  const std::array<std::uint8_t, 16>& ClassId() const { return classId_; }

 private:
  std::vector<std::unique_ptr<TXLSFileItem>> children_;
  std::array<std::uint8_t, 16> classId_{};
};

}  // namespace xls

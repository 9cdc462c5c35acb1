#include "xls/model/file_streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "xls/model/codepage.h"

namespace xls {

int WideFileOpen(const std::u16string& fileName, std::uint32_t mode) {
  int flags;
  switch (mode & 3) {
    case 0: flags = O_RDONLY; break;
    case 1: flags = O_WRONLY; break;
    case 2: flags = O_RDWR; break;
    default: return -1;
  }
  std::string path = WideToUtf8(fileName);
  int fd;
  do {
    fd = open(path.c_str(), flags | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd < 0 ? -1 : fd;
}

TWFileStream::TWFileStream(const std::u16string& fileName, std::uint32_t mode) {
  std::string path = WideToUtf8(fileName);
  if (mode == kFileCreate) {
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) throw EFCreateError("Cannot create file " + path);
  } else {
    fd_ = WideFileOpen(fileName, mode);
    if (fd_ < 0) throw EFOpenError("Cannot open file " + path);
  }
}

TWFileStream::~TWFileStream() {
  if (fd_ >= 0) close(fd_);
}

std::size_t TWFileStream::Read(void* buffer, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = read(fd_, static_cast<char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

std::size_t TWFileStream::Write(const void* data, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = write(fd_, static_cast<const char*>(data) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

std::int64_t TWFileStream::Seek(std::int64_t offset, platform::SeekOrigin origin) {
  int whence = origin == platform::SeekOrigin::Begin ? SEEK_SET : origin == platform::SeekOrigin::Current ? SEEK_CUR : SEEK_END;
  off_t r = lseek(fd_, static_cast<off_t>(offset), whence);
  return r < 0 ? -1 : static_cast<std::int64_t>(r);
}

void WriteStringToStream(platform::ByteStream& stream, const std::string& text) {
  if (!text.empty()) stream.Write(text.data(), text.size());
}

void WideStringReplace(const std::u16string& text, const std::u16string& pattern,
                       const std::u16string& replacement, std::u16string& result) {
  if (pattern.empty()) {
    result = text;
    return;
  }
  std::u16string out;
  std::size_t from = 0;
  for (;;) {
    std::size_t at = text.find(pattern, from);
    if (at == std::u16string::npos) break;
    out.append(text, from, at - from);
    out += replacement;
    from = at + pattern.size();
  }
  out.append(text, from, std::u16string::npos);
  result = std::move(out);
}

// ----- storage tree ---------------------------------------------------------------------------

std::unique_ptr<TXLSFileStream> TXLSFileStream::CreateAutoSize(std::u16string name) {
  auto s = std::make_unique<TXLSFileStream>(std::move(name), 0);
  s->autoSize_ = true;
  return s;
}

int TXLSFileStream::Load(const platform::CompoundFileReader& file, int parentStorage) {
  int id = file.Find(parentStorage, Name());
  if (id < 0 || file.GetEntry(id).type != platform::CompoundEntryType::Stream) return -1;
  std::vector<std::uint8_t> bytes;
  if (!file.ReadStream(id, bytes)) return -1;
  // An auto-size item takes the whole stream, so that a later save writes back every byte.
  if (autoSize_) size_ = static_cast<std::uint32_t>(bytes.size());
  if (bytes.size() < size_) return -1;
  data_ = std::make_unique<TXLSBlob>(size_);
  data_->PutBuffer(bytes.data(), 0, size_, 0);
  return 1;
}

int TXLSFileStream::Save(platform::CompoundFileWriter& file, int parentStorage) const {
  int id = file.AddStream(parentStorage, Name());
  if (id < 0) return -1;
  if (!data_) return 1;
  return data_->WriteToStream(file.Stream(id));
}

int TXLSFileStorage::Load(const platform::CompoundFileReader& file, int parentStorage) {
  int id = file.Find(parentStorage, Name());
  if (id < 0 || file.GetEntry(id).type != platform::CompoundEntryType::Storage) return -1;
  classId_ = file.GetEntry(id).classId;
  for (int c : file.GetEntry(id).children) {
    const auto& e = file.GetEntry(c);
    std::unique_ptr<TXLSFileItem> item;
    if (e.type == platform::CompoundEntryType::Storage)
      item = std::make_unique<TXLSFileStorage>(e.name);
    else
      item = std::make_unique<TXLSFileStream>(e.name, static_cast<std::uint32_t>(e.size));
    int r = item->Load(file, id);
    children_.push_back(std::move(item));
    if (r != 1) return r;
  }
  return 1;
}

int TXLSFileStorage::Save(platform::CompoundFileWriter& file, int parentStorage) const {
  int id = file.AddStorage(parentStorage, Name());
  if (id < 0) return -1;
  file.SetClassId(id, classId_);
  for (const auto& child : children_) {
    int r = child->Save(file, id);
    if (r != 1) return r;
  }
  return 1;
}

TXLSFileItem* TXLSFileStorage::FindItem(const std::u16string& name) const {
  auto lower = [](const std::u16string& w) {
    std::string s = WideToAnsi(w);
    for (char& c : s)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
  };
  std::string wanted = lower(name);
  for (const auto& child : children_)
    if (lower(child->Name()) == wanted) return child.get();
  return nullptr;
}

}  // namespace xls

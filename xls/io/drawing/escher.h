// Office Drawing (Escher) records as a workbook stores them inside MSODRAWINGGROUP and
// MSODRAWING records: the 8-byte record header, and the record objects this library keeps (a
// record kept as read, the drawing-group record with its shape-id clusters, the property table,
// the client anchor, the shape record). Every record object knows its size in the file and
// writes itself into a TXLSBlob; readers take their data from a TXLSBlobList at an offset.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "xls/model/blob.h"

namespace xls {

// Record types.
constexpr std::uint16_t kMsoDggContainer = 0xF000;
constexpr std::uint16_t kMsoBStoreContainer = 0xF001;
constexpr std::uint16_t kMsoDgContainer = 0xF002;
constexpr std::uint16_t kMsoSpgrContainer = 0xF003;
constexpr std::uint16_t kMsoSpContainer = 0xF004;
constexpr std::uint16_t kMsoDgg = 0xF006;
constexpr std::uint16_t kMsoBSE = 0xF007;
constexpr std::uint16_t kMsoDg = 0xF008;
constexpr std::uint16_t kMsoSpgr = 0xF009;
constexpr std::uint16_t kMsoSp = 0xF00A;
constexpr std::uint16_t kMsoOpt = 0xF00B;
constexpr std::uint16_t kMsoClientTextbox = 0xF00D;
constexpr std::uint16_t kMsoClientAnchor = 0xF010;
constexpr std::uint16_t kMsoClientData = 0xF011;
constexpr std::uint16_t kMsoBlipFirst = 0xF018;
constexpr std::uint16_t kMsoBlipLast = 0xF117;
constexpr std::uint16_t kMsoSplitMenuColors = 0xF11E;
constexpr std::uint16_t kMsoTertiaryOpt = 0xF122;

// BIFF records of the drawing layer.
// (MSODRAWINGGROUP; named apart from the reader's constant so that both headers can be included.)
constexpr std::uint16_t kRecDrawingGroup = 0x00EB;
constexpr std::uint16_t kRecMsoDrawing = 0x00EC;
constexpr std::uint16_t kRecObj = 0x005D;
constexpr std::uint16_t kRecTxo = 0x01B6;
constexpr std::uint16_t kRecNote = 0x001C;
constexpr std::uint16_t kRecDrawingContinue = 0x003C;

// A drawing record that cannot be parsed; the message says which check failed.
class EMsoParseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TMSOHeader {
 public:
  TMSOHeader() = default;
  TMSOHeader(std::uint32_t version, std::uint32_t instance, std::uint16_t type, std::uint32_t length)
      : version_(version & 0xF), instance_(instance & 0xFFF), type_(type), length_(length) {}
  // Reads 8 bytes at offset, which advances by 8; false (offset unchanged) when fewer remain.
  bool ReadFrom(const TXLSBlobList& source, std::uint32_t& offset);
  bool ReadFrom(const TXLSBlob& source, std::uint32_t& offset);

  std::uint32_t Version() const { return version_; }
  std::uint32_t Instance() const { return instance_; }
  std::uint16_t RecType() const { return type_; }
  std::uint32_t Length() const { return length_; }
  bool IsContainer() const { return version_ == 0xF; }
  // Appends the two 32-bit words: 1, or -1 (nothing written) without 8 bytes of free capacity.
  int WriteTo(TXLSBlob* blob) const;

 private:
  std::uint32_t version_ = 0, instance_ = 0;
  std::uint16_t type_ = 0;
  std::uint32_t length_ = 0;
};

// The bytes of a list counted over its blocks (lists of record bodies are built block by block).
std::uint64_t ListSize(const TXLSBlobList& list);

// Appends a header, growing the blob when needed. Returns 1.
int WriteEscherHeader(TXLSBlob& blob, std::uint32_t version, std::uint32_t instance, std::uint32_t length,
                      std::uint16_t type);

// Comment text scrambling of protected workbooks: every byte rotated by 3 bits. RotateRight3
// leaves the 4-byte BIFF record header alone; RotateLeft3 treats every byte.
void RotateRight3(TXLSBlob& blob);
void RotateLeft3(TXLSBlob& blob);

// Appends one logical BIFF record as a first record of at most limit data bytes and CONTINUE
// records, split wherever the limit falls.
void AppendSplitRecord(TXLSBlobList& output, std::uint16_t id, const TXLSBlob& data, std::uint16_t limit);

class TMsoFbt {
 public:
  virtual ~TMsoFbt() = default;
  // Bytes in the file, header included; 0 writes nothing.
  virtual std::int64_t GetSize() const = 0;
  virtual void WriteTo(TXLSBlob& blob) const = 0;
  // A blob of exactly GetSize() bytes, or none when the size is below 1.
  std::unique_ptr<TXLSBlob> GetBlob() const;
  // Parses the data (length bytes at offset) after the header; -1 when it does not fit.
  virtual int ReadFrom(const TMSOHeader& header, const TXLSBlobList& source, std::uint32_t length,
                       std::uint32_t offset) {
    (void)header, (void)source, (void)length, (void)offset;
    return -1;
  }
  int ReadFromBlob(const TMSOHeader& header, const TXLSBlob& data);
};

// A record kept as read and written back unchanged.
class TMsoFbtUnknown : public TMsoFbt {
 public:
  TMsoFbtUnknown() = default;
  TMsoFbtUnknown(const TMSOHeader& header, std::vector<std::uint8_t> data)
      : header_(header), hasHeader_(true), data_(std::move(data)) {}
  std::int64_t GetSize() const override { return hasHeader_ ? 8 + static_cast<std::int64_t>(data_.size()) : 0; }
  void WriteTo(TXLSBlob& blob) const override;
  int ReadFrom(const TMSOHeader& header, const TXLSBlobList& source, std::uint32_t length,
               std::uint32_t offset) override;
  const std::vector<std::uint8_t>& Data() const { return data_; }

 private:
  TMSOHeader header_;
  bool hasHeader_ = false;
  std::vector<std::uint8_t> data_;
};

struct TMsoFbtDGGItem {
  std::uint32_t drawingId = 0;
  std::uint32_t used = 0;
};

// The drawing-group record: shape-id clusters of 1024 ids each, and the counters of a save.
class TMsoFbtDGG : public TMsoFbt {
 public:
  std::int64_t GetSize() const override { return clusters_.empty() ? 0 : 24 + 8 * static_cast<std::int64_t>(clusters_.size()); }
  void WriteTo(TXLSBlob& blob) const override;
  int ReadFrom(const TMSOHeader& header, const TXLSBlobList& source, std::uint32_t length,
               std::uint32_t offset) override;

  void RegisterShapeId(std::uint32_t id);
  void RegisterDrawing(std::uint16_t& id);
  std::uint32_t NewShapeId(std::uint16_t drawingId);
  void ReleaseDrawing(std::uint16_t id);
  void ResetCounters();
  std::size_t ClusterCount() const { return clusters_.size(); }
  const std::vector<TMsoFbtDGGItem>& Clusters() const { return clusters_; }
  std::uint32_t LargestShapeId() const { return largestShapeId_; }
  std::uint32_t ShapesSaved() const { return shapesSaved_; }
  std::uint32_t DrawingsSaved() const { return drawingsSaved_; }
  std::uint16_t LargestDrawingId() const { return largestDrawingId_; }

 private:
  std::vector<TMsoFbtDGGItem> clusters_;
  std::uint32_t largestShapeId_ = 0, shapesSaved_ = 0, drawingsSaved_ = 0;
  std::uint16_t largestDrawingId_ = 0;
};

struct TMsoFbtOptItem {
  std::uint16_t idWord = 0;  // id in bits 0-13, blip-id flag bit 14, complex flag bit 15
  std::uint32_t value = 0;   // of a complex property: the length of its data
  std::vector<std::uint8_t> complex;
  bool hasComplex = false;

  std::uint16_t Id() const { return idWord & 0x3FFF; }
  bool IsComplex() const { return (idWord & 0x8000) != 0; }
  void SetId(std::uint32_t id) {
    if (id <= 0x3FFF) idWord = static_cast<std::uint16_t>((idWord & 0xC000) | id);
  }
  std::int64_t FileSize() const { return 6 + (IsComplex() && value > 0 && hasComplex ? static_cast<std::int64_t>(complex.size()) : 0); }
};

// A property table (Opt 0xF00B, or the tertiary one 0xF122).
class TMsoFbtOpt : public TMsoFbt {
 public:
  explicit TMsoFbtOpt(std::uint16_t recordType = kMsoOpt) : recordType_(recordType) {}
  std::int64_t GetSize() const override;
  void WriteTo(TXLSBlob& blob) const override;
  int ReadFrom(const TMSOHeader& header, const TXLSBlobList& source, std::uint32_t length,
               std::uint32_t offset) override;

  using Entry = std::pair<std::uint16_t, TMsoFbtOptItem>;

  std::uint32_t GetProperty(std::uint16_t id) const;
  // flags: the blip-id (0x4000) and complex (0x8000) bits of the id word.
  void SetProperty(std::uint16_t id, std::uint32_t value, std::uint16_t flags = 0);
  bool HasProperty(std::uint16_t id) const { return Find(id) != nullptr; }
  std::size_t PropertyCount() const { return items_.size(); }
  void Clear() { items_.clear(); }
  std::uint16_t RecordType() const { return recordType_; }
  // By id.
  const std::vector<Entry>& Items() const { return items_; }

 private:
  const TMsoFbtOptItem* Find(std::uint16_t id) const;

  std::uint16_t recordType_;
  // Sorted by id, one entry an id: one allocation for a shape's table, not one a property.
  std::vector<Entry> items_;
};

class TMsoFbtClientAnchor : public TMsoFbt {
 public:
  std::int64_t GetSize() const override { return 26; }
  void WriteTo(TXLSBlob& blob) const override;
  int ReadFrom(const TMSOHeader& header, const TXLSBlobList& source, std::uint32_t length,
               std::uint32_t offset) override;

  std::uint16_t flag = 0, column1 = 0, dx1 = 0, row1 = 0, dy1 = 0, column2 = 0, dx2 = 0, row2 = 0, dy2 = 0;
};

class TMsoFbtSp : public TMsoFbt {
 public:
  TMsoFbtSp(std::uint32_t version, std::uint32_t flags, std::uint16_t shapeType)
      : version_(static_cast<std::uint8_t>(version)), shapeType_(shapeType), flags_(flags) {}
  // From a read record: throws EMsoParseError without data or with fewer than 8 bytes.
  TMsoFbtSp(const TMSOHeader& header, const TXLSBlob* data);
  std::int64_t GetSize() const override { return 16; }
  void WriteTo(TXLSBlob& blob) const override;

  std::uint8_t Version() const { return version_; }
  std::uint16_t ShapeType() const { return shapeType_; }
  std::uint32_t ShapeId() const { return shapeId_; }
  void SetShapeId(std::uint32_t id) { shapeId_ = id; }
  std::uint32_t Flags() const { return flags_; }

 private:
  std::uint8_t version_;
  std::uint16_t shapeType_;
  std::uint32_t shapeId_ = 0;
  std::uint32_t flags_;
};

}  // namespace xls

// The workbook's drawing group: the DggContainer of one logical MSODRAWINGGROUP record with the
// drawing-group record (shape-id clusters of every sheet drawing), the picture store (BSE
// entries with their blips, identified by the MD4 digest of the picture bytes), the default
// property table and the split-menu colours. A workbook without drawings writes the 40 bytes
// of a container that holds only the empty property table and the colours.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "xls/io/drawing/escher.h"
#include "xls/model/drawing_slot.h"
#include "xls/model/file_streams.h"

namespace xls {

class TXLSWorkbook;

// Blip types of the picture store.
enum TMsoBlipType : std::uint8_t {
  kBlipNone = 0,
  kBlipEMF = 2,
  kBlipWMF = 3,
  kBlipPICT = 4,
  kBlipJPEG = 5,
  kBlipPNG = 6,
  kBlipDIB = 7,
};

class TMSOPicture {
 public:
  // Bytes of the BSE entry with its blip, header included.
  std::int64_t GetSize() const;
  void WriteTo(TXLSBlob& blob) const;
  // Reads one BSE entry at offset (which advances past it): 1, or -1 when its BSE header or
  // body is malformed. An entry whose blip the store does not take apart (a Macintosh PICT,
  // a blip of another type than the entry names, an entry without its blip) is kept as read.
  int ReadFrom(const std::vector<std::uint8_t>& bytes, std::size_t& offset, std::size_t end);
  // The blip record of the entry at (up to entryEnd) when it is one of the types the store takes
  // apart and well formed; false leaves the entry to be kept as read.
  bool ReadBlip(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t entryEnd, std::uint32_t blipSize);
  // The MD4 digest of the picture bytes becomes the uid.
  void ComputeUid();
  // 32 upper-case hexadecimal digits of the uid.
  std::string UidKey() const;

  std::vector<std::uint8_t> data;
  std::uint8_t blipType = kBlipNone;
  std::uint32_t refCount = 0;
  std::array<std::uint8_t, 16> uid{};
  std::array<std::uint8_t, 16> fileUid{};  // of an EMF blip, as read
  std::int32_t index = 0;
  std::vector<std::uint8_t> name;  // UTF-16 bytes as stored
  // Metafile header of EMF and WMF blips.
  std::uint32_t uncompressedSize = 0;
  std::int16_t left = 0, top = 0, right = 0, bottom = 0;
  std::uint32_t sizeX = 0, sizeY = 0, savedSize = 0;
  std::uint8_t compression = 0, filter = 0;
  std::uint8_t bitmapTag = 0;  // the byte before a bitmap's data (0 for new pictures)
  std::uint16_t tag = 0x00FF;  // of the BSE body, as read
  // The whole BSE entry as read when its blip is not taken apart; written back as it is, with
  // the reference count of refCount. Such an entry has no data.
  std::vector<std::uint8_t> keptEntry;
};

class TMSOPictureList {
 public:
  std::size_t Count() const { return items_.size(); }
  TMSOPicture* Item(std::size_t i) const { return i < items_.size() ? items_[i].get() : nullptr; }
  // Appends a picture (its index is the running count) and files it under its uid.
  TMSOPicture* Add(std::unique_ptr<TMSOPicture> picture);
  TMSOPicture* Find(const std::string& uidKey) const;
  std::int64_t StoreSize() const;  // entries + the container header, 0 without entries
  void Clear();

 private:
  std::vector<std::unique_ptr<TMSOPicture>> items_;
  std::int32_t readCount_ = 0;
  std::map<std::string, TMSOPicture*> byUid_;
};

class TMSODrawingGroup : public TXLSDrawingGroupBase {
 public:
  TMSODrawingGroup();
  void Clear() override;
  // Before a save: the counters of the drawing-group record start again.
  void ResetDgg() { dgg_.ResetCounters(); }
  void ReleaseDrawing(std::uint16_t id) { dgg_.ReleaseDrawing(id); }
  std::int64_t GetSize() const;
  // MSODRAWINGGROUP split at the record data limit. Returns 1.
  int Write(TXLSBlobList& output, std::uint16_t limit) const;
  // The joined data of a read MSODRAWINGGROUP: 1, or -1; malformed data throws EMsoParseError.
  // A picture store entry that cannot be walked ends the store without failing the read.
  int Read(const TXLSBlobList& data);
  // The picture store entries that the reads since the last call could not read.
  std::size_t TakeLostPictures() { return std::exchange(lostPictures_, 0); }

  TMsoFbtOpt& Properties() { return opt_; }
  TMsoFbtDGG& Dgg() { return dgg_; }
  TMSOPictureList& Pictures() { return pictures_; }
  // The picture store entry for these bytes (an equal picture is shared: its reference count
  // grows); the result is its 1-based blip index, or 0 for an unknown blip type or no data.
  std::uint32_t AddPicture(std::vector<std::uint8_t> bytes, std::uint8_t blipType);

  // The storages of embedded objects ("MBD" and eight hexadecimal digits, named by the objects'
  // picture formulas) kept from the file the workbook was read from; BIFF8 saves write them
  // back beside the workbook stream.
  void KeepEmbeddedStorage(std::unique_ptr<TXLSFileStorage> storage) { embedded_.push_back(std::move(storage)); }
  std::size_t EmbeddedStorageCount() const { return embedded_.size(); }
  // 1, or -1 when a storage cannot be added to the file.
  int SaveEmbeddedStorages(platform::CompoundFileWriter& file) const;

 private:
  TMsoFbtOpt opt_;
  TMsoFbtDGG dgg_;
  TMSOPictureList pictures_;
  TMsoFbtUnknown splitMenuColors_;
  std::size_t lostPictures_ = 0;
  std::vector<std::unique_ptr<TXLSFileStorage>> embedded_;
};

// The workbook's drawing group, made on first use.
TMSODrawingGroup& GetDrawingGroup(TXLSWorkbook& book);
// The MSODRAWINGGROUP of a BIFF8 save: the workbook's group, or that of a workbook without one.
int WriteDrawingGroup(TXLSWorkbook& book, TXLSBlobList& output, std::uint16_t limit);
// The embedded objects' storages of a BIFF8 save: 1, or -1 when one cannot be written.
int WriteEmbeddedStorages(TXLSWorkbook& book, platform::CompoundFileWriter& file);

}  // namespace xls

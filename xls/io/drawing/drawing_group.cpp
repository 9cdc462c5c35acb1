#include "xls/io/drawing/drawing_group.h"

#include <algorithm>

#include "platform/little_endian.h"
#include "xls/io/crypto/hashes.h"
#include "xls/model/workbook.h"

namespace xls {
namespace {

constexpr std::uint32_t kSplitColors[4] = {0x0800000D, 0x0800000C, 0x08000017, 0x100000F7};

using platform::LoadLE32;

bool ReadHeader(const std::vector<std::uint8_t>& b, std::size_t& at, std::size_t end, TMSOHeader& h) {
  if (at > end || end - at < 8) return false;
  const std::uint32_t first = LoadLE32(&b[at]);
  h = TMSOHeader(first & 0xF, (first >> 4) & 0xFFF, static_cast<std::uint16_t>(first >> 16), LoadLE32(&b[at + 4]));
  at += 8;
  return true;
}

std::uint32_t Signature(std::uint8_t type) {
  switch (type) {
    case kBlipEMF: return 0x3D4;
    case kBlipWMF: return 0x216;
    case kBlipPICT: return 0x542;
    case kBlipJPEG: return 0x46A;
    case kBlipPNG: return 0x6E0;
    case kBlipDIB: return 0x7A8;
    default: return 0;
  }
}

bool IsMetafile(std::uint8_t type) { return type == kBlipEMF || type == kBlipWMF; }

}  // namespace

// ---- picture store entries

std::int64_t TMSOPicture::GetSize() const {
  if (!keptEntry.empty()) return static_cast<std::int64_t>(keptEntry.size());
  std::int64_t size = 8 + 36 + static_cast<std::int64_t>(name.size());
  if (blipType != kBlipNone) {
    size += 25;
    if (IsMetafile(blipType)) size += 33;
    size += static_cast<std::int64_t>(data.size());
  }
  return size;
}

void TMSOPicture::WriteTo(TXLSBlob& blob) const {
  if (!keptEntry.empty()) {
    const std::uint32_t at = blob.GetSize();
    blob.EnsureCapacity(at, static_cast<std::uint32_t>(keptEntry.size()));
    blob.PutBuffer(keptEntry.data(), 0, static_cast<std::uint32_t>(keptEntry.size()), at);
    blob.SetSize(at + static_cast<std::uint32_t>(keptEntry.size()));
    blob.WriteDWord(at + 8 + 24, refCount);
    return;
  }
  const std::int64_t size = GetSize();
  WriteEscherHeader(blob, 2, blipType, static_cast<std::uint32_t>(size - 8), kMsoBSE);
  blob.AddByte(blipType);
  blob.AddByte(blipType == kBlipEMF ? static_cast<std::uint8_t>(kBlipPICT) : blipType);
  const std::array<std::uint8_t, 16>& id = blipType == kBlipEMF ? fileUid : uid;
  for (std::uint8_t b : id) blob.AddByte(b);
  blob.AddWord(tag);
  // The size field counts the blip record only: the name stands between the body and the blip.
  blob.AddDWord(static_cast<std::uint32_t>(size - 44 - static_cast<std::int64_t>(name.size())));
  blob.AddDWord(refCount);
  blob.AddDWord(0);  // delay offset
  blob.AddByte(0);   // usage
  blob.AddByte(static_cast<std::uint32_t>(name.size()));
  blob.AddByte(0);
  blob.AddByte(0);
  for (std::uint8_t b : name) blob.AddByte(b);
  if (blipType == kBlipNone) return;
  const std::uint32_t blipLength = static_cast<std::uint32_t>(size - 44 - static_cast<std::int64_t>(name.size()) - 8);
  WriteEscherHeader(blob, 0, Signature(blipType), blipLength, static_cast<std::uint16_t>(kMsoBlipFirst + blipType));
  for (std::uint8_t b : uid) blob.AddByte(b);
  if (IsMetafile(blipType)) {
    blob.AddDWord(uncompressedSize);
    for (std::int16_t v : {left, top, right, bottom}) blob.AddDWord(static_cast<std::uint32_t>(static_cast<std::int32_t>(v)));
    blob.AddDWord(sizeX);
    blob.AddDWord(sizeY);
    blob.AddDWord(savedSize);
    blob.AddByte(compression);
    blob.AddByte(filter);
  } else {
    blob.AddByte(bitmapTag);
  }
  if (!data.empty()) {
    const std::uint32_t at = blob.GetSize();
    blob.EnsureCapacity(at, static_cast<std::uint32_t>(data.size()));
    blob.PutBuffer(data.data(), 0, static_cast<std::uint32_t>(data.size()), at);
    blob.SetSize(at + static_cast<std::uint32_t>(data.size()));
  }
}

int TMSOPicture::ReadFrom(const std::vector<std::uint8_t>& b, std::size_t& offset, std::size_t end) {
  TMSOHeader h;
  const std::size_t entryStart = offset;
  std::size_t at = offset;
  if (!ReadHeader(b, at, end, h) || h.RecType() != kMsoBSE || h.Length() < 36 || end - at < h.Length()) return -1;
  const std::size_t entryEnd = at + h.Length();
  offset = entryEnd;
  blipType = b[at];
  std::copy(b.begin() + static_cast<std::ptrdiff_t>(at + 2), b.begin() + static_cast<std::ptrdiff_t>(at + 18), uid.begin());
  tag = platform::LoadLE16(&b[at + 18]);
  const std::uint32_t blipSize = LoadLE32(&b[at + 20]);
  refCount = LoadLE32(&b[at + 24]);
  const std::uint8_t nameLength = b[at + 33];
  at += 36;
  if (nameLength > entryEnd - at) return -1;
  name.assign(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + nameLength));
  at += nameLength;
  const std::array<std::uint8_t, 16> entryUid = uid;
  if (ReadBlip(b, at, entryEnd, blipSize)) return 1;
  // An entry whose blip is not one the store takes apart goes back into the file as it came:
  // a picture the Macintosh version stored as PICT under the Windows type EMF or WMF, an entry
  // whose picture is gone (size 0, no blip), a blip of a type the entry does not name.
  keptEntry.assign(b.begin() + static_cast<std::ptrdiff_t>(entryStart), b.begin() + static_cast<std::ptrdiff_t>(entryEnd));
  uid = entryUid;
  data.clear();
  return 1;
}

bool TMSOPicture::ReadBlip(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t entryEnd,
                           std::uint32_t blipSize) {
  if (!IsMetafile(blipType) && blipType != kBlipJPEG && blipType != kBlipPNG && blipType != kBlipDIB) return false;
  TMSOHeader blip;
  if (!ReadHeader(b, at, entryEnd, blip) || blip.RecType() != kMsoBlipFirst + blipType || entryEnd - at < blip.Length())
    return false;
  if (blipSize != static_cast<std::uint64_t>(blip.Length()) + 8) return false;
  const std::size_t blipEnd = at + blip.Length();
  if (blipEnd - at < 16) return false;
  std::copy(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + 16), uid.begin());
  if (blipType == kBlipEMF) fileUid = uid;
  at += 16;
  // An instance one above the signature says that a second uid follows the first.
  if ((blip.Instance() ^ Signature(blipType)) == 1) {
    if (blipEnd - at < 16) return false;
    at += 16;
  }
  if (IsMetafile(blipType)) {
    if (blipEnd - at < 34) return false;
    uncompressedSize = LoadLE32(&b[at]);
    left = static_cast<std::int16_t>(LoadLE32(&b[at + 4]));
    top = static_cast<std::int16_t>(LoadLE32(&b[at + 8]));
    right = static_cast<std::int16_t>(LoadLE32(&b[at + 12]));
    bottom = static_cast<std::int16_t>(LoadLE32(&b[at + 16]));
    sizeX = LoadLE32(&b[at + 20]);
    sizeY = LoadLE32(&b[at + 24]);
    savedSize = LoadLE32(&b[at + 28]);
    compression = b[at + 32];
    filter = b[at + 33];
    at += 34;
  } else {
    if (blipEnd - at < 1) return false;
    bitmapTag = b[at];
    at += 1;
  }
  data.assign(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(blipEnd));
  ComputeUid();
  return true;
}

void TMSOPicture::ComputeUid() { uid = MD4(data.data(), data.size()); }

std::string TMSOPicture::UidKey() const {
  static const char digits[] = "0123456789ABCDEF";
  std::string key;
  for (std::uint8_t b : uid) {
    key += digits[b >> 4];
    key += digits[b & 15];
  }
  return key;
}

TMSOPicture* TMSOPictureList::Add(std::unique_ptr<TMSOPicture> picture) {
  picture->index = readCount_++;
  TMSOPicture* p = picture.get();
  byUid_[p->UidKey()] = p;
  items_.push_back(std::move(picture));
  return p;
}

TMSOPicture* TMSOPictureList::Find(const std::string& uidKey) const {
  auto it = byUid_.find(uidKey);
  return it == byUid_.end() ? nullptr : it->second;
}

std::int64_t TMSOPictureList::StoreSize() const {
  std::int64_t sum = 0;
  for (const auto& p : items_) sum += p->GetSize();
  return sum >= 1 ? sum + 8 : 0;
}

void TMSOPictureList::Clear() {
  byUid_.clear();
  items_.clear();
  readCount_ = 0;
}

// ---- the group

TMSODrawingGroup::TMSODrawingGroup() {
  std::vector<std::uint8_t> colours;
  for (std::uint32_t c : kSplitColors)
    for (int i = 0; i < 4; ++i) colours.push_back(static_cast<std::uint8_t>(c >> (8 * i)));
  splitMenuColors_ = TMsoFbtUnknown(TMSOHeader(0, 4, kMsoSplitMenuColors, 16), colours);
}

void TMSODrawingGroup::Clear() {
  pictures_.Clear();
  lostPictures_ = 0;
  embedded_.clear();
  dgg_ = TMsoFbtDGG();
  opt_ = TMsoFbtOpt();
}

std::int64_t TMSODrawingGroup::GetSize() const {
  return dgg_.GetSize() + 8 + pictures_.StoreSize() + opt_.GetSize() + splitMenuColors_.GetSize();
}

int TMSODrawingGroup::Write(TXLSBlobList& output, std::uint16_t limit) const {
  const std::int64_t size = GetSize();
  if (size > 0xFFFFFFF0ll) return -1;
  TXLSBlob body(static_cast<std::uint32_t>(size));
  WriteEscherHeader(body, 15, 0, static_cast<std::uint32_t>(size - 8), kMsoDggContainer);
  dgg_.WriteTo(body);
  if (pictures_.Count() > 0) {
    WriteEscherHeader(body, 15, static_cast<std::uint32_t>(pictures_.Count()),
                      static_cast<std::uint32_t>(pictures_.StoreSize() - 8), kMsoBStoreContainer);
    for (std::size_t i = 0; i < pictures_.Count(); ++i) pictures_.Item(i)->WriteTo(body);
  }
  opt_.WriteTo(body);
  splitMenuColors_.WriteTo(body);
  AppendSplitRecord(output, kRecDrawingGroup, body, limit);
  return 1;
}

int TMSODrawingGroup::Read(const TXLSBlobList& data) {
  std::vector<std::uint8_t> b;
  for (std::size_t i = 0; i < data.Count(); ++i)
    if (const TXLSBlob* block = data.GetChunk(i)) b.insert(b.end(), block->GetData(), block->GetData() + block->GetSize());
  std::size_t at = 0;
  TMSOHeader top;
  if (!ReadHeader(b, at, b.size(), top) || top.RecType() != kMsoDggContainer || top.Length() == 0) return 1;
  std::int64_t left = top.Length();
  int result = 1;
  while (left > 0 && result == 1) {
    TMSOHeader child;
    if (left < 8 || !ReadHeader(b, at, b.size(), child)) throw EMsoParseError("length < Header.Length");
    left -= 8;
    if (child.Length() > left || child.Length() > b.size() - at) throw EMsoParseError("length < Header.Length");
    const std::size_t end = at + child.Length();
    if (child.RecType() == kMsoBStoreContainer) {
      std::size_t p = at, read = 0;
      while (p < end) {
        auto picture = std::make_unique<TMSOPicture>();
        if (picture->ReadFrom(b, p, end) != 1) {
          // An entry that cannot be walked ends the store: it and the entries after it (as many
          // as the container counts, at least this one) are lost, the workbook is not.
          lostPictures_ += std::max<std::size_t>(child.Instance() > read ? child.Instance() - read : 0, 1);
          break;
        }
        pictures_.Add(std::move(picture));
        ++read;
      }
    } else if (child.RecType() == kMsoDgg || child.RecType() == kMsoOpt) {
      TXLSBlob part(child.Length());
      if (child.Length() > 0) part.PutBuffer(b.data(), static_cast<std::uint32_t>(at), child.Length(), 0);
      part.SetSize(child.Length());
      if (child.RecType() == kMsoDgg) result = dgg_.ReadFromBlob(child, part);
      else result = opt_.ReadFromBlob(child, part);
    }
    at = end;
    left -= child.Length();
  }
  return result;
}

std::uint32_t TMSODrawingGroup::AddPicture(std::vector<std::uint8_t> bytes, std::uint8_t blipType) {
  if (bytes.empty() || blipType < kBlipEMF || blipType > kBlipDIB) return 0;
  auto picture = std::make_unique<TMSOPicture>();
  picture->data = std::move(bytes);
  picture->blipType = blipType;
  picture->ComputeUid();
  if (TMSOPicture* same = pictures_.Find(picture->UidKey()); same && same->blipType == blipType && same->keptEntry.empty()) {
    ++same->refCount;
    for (std::size_t i = 0; i < pictures_.Count(); ++i)
      if (pictures_.Item(i) == same) return static_cast<std::uint32_t>(i + 1);
  }
  picture->refCount = 1;
  pictures_.Add(std::move(picture));
  return static_cast<std::uint32_t>(pictures_.Count());
}

int TMSODrawingGroup::SaveEmbeddedStorages(platform::CompoundFileWriter& file) const {
  for (const auto& storage : embedded_)
    if (storage->Save(file, platform::CompoundFileWriter::kRoot) != 1) return -1;
  return 1;
}

TMSODrawingGroup& GetDrawingGroup(TXLSWorkbook& book) {
  if (!book.DrawingGroupSlot()) book.SetDrawingGroupSlot(std::make_unique<TMSODrawingGroup>());
  return static_cast<TMSODrawingGroup&>(*book.DrawingGroupSlot());
}

int WriteEmbeddedStorages(TXLSWorkbook& book, platform::CompoundFileWriter& file) {
  const auto* group = static_cast<const TMSODrawingGroup*>(book.DrawingGroupSlot());
  return group ? group->SaveEmbeddedStorages(file) : 1;
}

int WriteDrawingGroup(TXLSWorkbook& book, TXLSBlobList& output, std::uint16_t limit) {
  if (auto* group = static_cast<TMSODrawingGroup*>(book.DrawingGroupSlot())) return group->Write(output, limit);
  return TMSODrawingGroup().Write(output, limit);
}

}  // namespace xls

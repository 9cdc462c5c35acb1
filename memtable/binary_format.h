// The table's own stream format: binary, versioned, with the table's structure (fields
// and index definitions) and every record, nulls included, and a checksum.
//
// All numbers little-endian; a text is a u32 byte count followed by the bytes.
//
//   magic        "KVMT"
//   u16          format version (1); a reader refuses any other
//   u16          0 (reserved)
//   u32          field count F
//   F times:     text name, u8 field type (the data-set framework's ordinal), i32 size,
//                u8 required (0/1)
//   u32          index definition count I
//   I times:     text name, text field list, u32 index options (ixUnique ... bits)
//   text         the current index's name (empty for row order)
//   u32          record count R
//   R times, F values each, in field order:
//                u8 0 for null, or 1 followed by u32 length and the value's bytes: the
//                native bytes of an in-line field (as the record holds them, a text with
//                its zero), the contents of a blob
//   u32          CRC-32 (IEEE 802.3) of every byte before it
//
// Records are written in row order, so a table loaded back has the same row order,
// the same values and nulls, and rebuilds the same indexes. A load reads and checks the
// whole stream before it changes the table: a damaged or foreign stream is refused
// with a clear error and the table keeps its records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "memtable/stream_format.h"

namespace memtable {

// The checksum the format writes after the records.
std::uint32_t TableStreamChecksum(const std::uint8_t* data, std::size_t size);

class TmvxBinaryStreamFormat : public TmvxCustomStreamFormat {
 public:
  static constexpr std::uint16_t kVersion = 1;

  std::string GetVersion() const override { return "1.00"; }
  void SaveDef(TmvxCustomMemTable& table) override;
  void SaveData(TmvxCustomMemTable& table) override;
  void LoadDef(TmvxCustomMemTable& table) override;
  void MapLoadField(TmvxCustomMemTable& table, int position, int& entry) override;
  void LoadData(TmvxCustomMemTable& table) override;

 private:
  struct StreamField {
    std::string name;
    dataset::FieldType type;
    int size;
    bool required;
  };
  std::vector<std::uint8_t> out_;  // the stream being written, until SaveData ends
  std::vector<std::uint8_t> in_;   // a copy of the stream being read, when it is no memory stream
  const std::uint8_t* inData_ = nullptr;  // the bytes being read, from the stream's position
  std::size_t inSize_ = 0;
  std::size_t dataStart_ = 0;      // where the records begin in them
  std::uint32_t recordCount_ = 0;
  std::vector<StreamField> fields_;
};

}  // namespace memtable

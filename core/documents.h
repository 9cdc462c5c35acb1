// Parameter files (*.par), compare files (*.cmp) and block files (the motor *.pmo files):
// little-endian, byte-exact, written and read field by field.
//
// A parameter file holds 1 to 500 records; a compare file 0 to 500 (a comparison that found no
// difference is its header alone). Loads never throw: a failed load leaves an empty document
// (header zeroed, array emptied) and returns false. Saves replace the target only when the
// whole new file is written.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/common.h"
#include "platform/atomic_file.h"

namespace core {

constexpr std::size_t kParameterHeaderSize = 92;
constexpr std::size_t kParameterRecordSize = 896;
constexpr std::size_t kCompareHeaderSize = 692;
constexpr std::size_t kCompareRecordSize = 876;

using FileResult = platform::FileResult;

// The open documents of State(), read as Open reads them (ReadParameterDocument,
// ReadCompareDocument): a document of a model this configuration lacks is refused.
bool LoadParameterFile(const std::string& path, bool addToRecent);
FileResult SaveParameterFile(const std::string& path);
bool LoadCompareFile(const std::string& path);
FileResult SaveCompareFile(const std::string& path);

// Whole-file blocks. A short or missing file leaves the unread bytes 0xFF.
bool LoadBlock(const std::string& path, void* buffer, std::size_t count);
FileResult SaveBlock(const std::string& path, const void* buffer, std::size_t count);

// The same files without touching the state. `modelCount` bounds the number of a header that
// names no model; a header with a name is read whatever its number (AdoptModel decides).
bool ReadParameterFile(const std::string& path, int modelCount, ParameterFileHeader& header,
                       std::vector<ParameterDefinition>& records);
bool ReadCompareFile(const std::string& path, int modelCount, CompareFileHeader& header,
                     std::vector<CompareRecord>& records);

// A document belongs to the model its header names. These make a document read from a file this
// configuration's: header and records take the number of the model of that name here (the
// header's own number when that model has the name, else the last model of the name, as Link
// matches a drive's product code). A header without a name keeps its number. False when the
// configuration holds no such model; the document is then left as it was.
int ModelOfDocument(std::uint32_t number, std::string_view name);
bool AdoptModel(ParameterFileHeader& header, std::vector<ParameterDefinition>& records);
bool AdoptModel(CompareFileHeader& header);

// A document file as every load takes it: the bytes (ReadParameterFile, ReadCompareFile), then
// the model its header names here (AdoptModel). Unreadable leaves header and records empty;
// UnknownModel leaves them as read, so that the model's name can be shown.
enum class DocumentRead { Done, Unreadable, UnknownModel };
DocumentRead ReadParameterDocument(const std::string& path, ParameterFileHeader& header,
                                   std::vector<ParameterDefinition>& records);
DocumentRead ReadCompareDocument(const std::string& path, CompareFileHeader& header,
                                 std::vector<CompareRecord>& records);

// Whether the open parameter document is of the linked drive's model, by number and by name.
bool DocumentOfLinkedModel();

// The byte codecs underneath.
std::string EncodeParameterFile(const ParameterFileHeader& header, const std::vector<ParameterDefinition>& records);
bool DecodeParameterFile(std::string_view bytes, int modelCount, ParameterFileHeader& header,
                         std::vector<ParameterDefinition>& records);
std::string EncodeCompareFile(const CompareFileHeader& header, const std::vector<CompareRecord>& records);
bool DecodeCompareFile(std::string_view bytes, int modelCount, CompareFileHeader& header,
                       std::vector<CompareRecord>& records);

}  // namespace core

// The motor data table of a model: 32-byte records of sixteen little-endian words, kept in the
// file "<program folder><model name>.pmo" (exactly record count x 32 bytes, no header) and
// downloaded to the drive record by record.
//
// Words 1..11 hold the motor data as the drive returns it; words 12..16 the record's code, ten
// characters, two per word with the first of each pair in the high byte. A record is free when
// words 1, 2 and 3 are all 0xFFFF and in use when none of them is.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/common.h"
#include "core/documents.h"

namespace core {

constexpr std::size_t kMotorRecordSize = 32;
constexpr std::size_t kMotorCodeLength = 10;
constexpr int kMotorWords = 16;
constexpr int kMotorCodeWord = 12;  // words 12..16 hold the code

using MotorWords = std::array<std::uint16_t, kMotorWords>;

// Word 1..16 of a record.
std::uint16_t MotorWord(const MotorRecord& record, int word);
void SetMotorWord(MotorRecord& record, int word, std::uint16_t value);
MotorWords WordsOf(const MotorRecord& record);
MotorRecord RecordOf(const MotorWords& words);

// 32 bytes of 0xFF (a deleted or never used record).
MotorRecord FreeMotorRecord();
bool MotorRecordFree(const MotorRecord& record);
bool MotorRecordInUse(const MotorRecord& record);
// Drive data that can go into a record: none of its first three words is 0xFFFF.
bool UsableMotorData(const MotorWords& words);
// The index of the first free record, or -1 when the table is full.
int FirstFreeMotorRecord(const std::vector<MotorRecord>& records);

// The code a record shows: the characters of words 12..16 (a word of 0xFFFF gives none), high
// byte first, trimmed of blanks at both ends.
std::string MotorCode(const MotorRecord& record);
// Puts a code field of exactly ten characters into words 12..16.
void SetMotorCodeField(MotorRecord& record, std::string_view field);

// The code field for a typed entry: upper-cased and trimmed, right-aligned in ten characters,
// cut to its first ten. False (field untouched) when the entry is empty, holds a character
// other than printable ASCII, or stores the same code that a record of `records` shows: the
// check compares what would be stored, so two entries that differ only after the tenth
// character are the same code.
bool AcceptMotorCode(std::string_view entry, const std::vector<MotorRecord>& records, std::string& field);

// The motor file of model `model` (1-based): the program folder followed by the model's name
// and ".pmo".
std::string MotorFileName(const AppState& s, int model);
// Sizes `records` to `count` and fills them from the file. Bytes the file does not have (a
// short or missing file) read as 0xFF, so the records they belong to are free.
bool LoadMotorTable(const std::string& path, int count, std::vector<MotorRecord>& records);
// Writes every record; the old file stays whole when the new one cannot be written.
FileResult SaveMotorTable(const std::string& path, const std::vector<MotorRecord>& records);

}  // namespace core

// The in-memory table's error classes.
#pragma once

#include "platform/dataset/dataset.h"

namespace memtable {

class EMemTableError : public dataset::EDatabaseError {
 public:
  using dataset::EDatabaseError::EDatabaseError;
};
class EMemTableFatalError : public EMemTableError {
 public:
  using EMemTableError::EMemTableError;
};
class EMemTableInvalidRecord : public EMemTableFatalError {
 public:
  using EMemTableFatalError::EMemTableFatalError;
};
class EMemTableDupKey : public EMemTableError {
 public:
  using EMemTableError::EMemTableError;
};
class EMemTableFilterError : public EMemTableError {
 public:
  using EMemTableError::EMemTableError;
};
class EMemTableLocaleError : public EMemTableError {
 public:
  using EMemTableError::EMemTableError;
};
class EMemTableInvalidLocale : public EMemTableLocaleError {
 public:
  using EMemTableLocaleError::EMemTableLocaleError;
};
class ERangeError : public std::out_of_range {
 public:
  using std::out_of_range::out_of_range;
};

inline constexpr const char* kDuplicateKeyText = "Duplicate index value. Operation aborted.";
inline constexpr const char* kTableMustBeClosedText = "Table must be closed for this operation.";
inline constexpr const char* kAtLeastOneFieldText = "There must be at least one field";

}  // namespace memtable

// Field types, states and option sets of the data-set framework. The ordinal values of
// FieldType are part of error texts ("Datatype %d not supported.") and stay in this order.
#pragma once

#include <cstdint>

namespace dataset {

enum FieldType {
  ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD,
  ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic,
  ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar, ftWideString,
  ftLargeint, ftADT, ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob, ftVariant,
  ftInterface, ftIDispatch, ftGuid, ftTimeStamp, ftFMTBcd
};

enum FieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };

enum DataSetState {
  dsInactive, dsBrowse, dsEdit, dsInsert, dsSetKey, dsCalcFields, dsFilter, dsNewValue,
  dsOldValue, dsCurValue, dsBlockRead, dsInternalCalc, dsOpening
};

enum GetMode { gmCurrent, gmNext, gmPrior };
enum GetResult { grOK, grBOF, grEOF, grError };
enum BookmarkFlag : std::uint8_t { bfCurrent, bfBOF, bfEOF, bfInserted };

enum DataEvent {
  deFieldChange, deRecordChange, deDataSetChange, deDataSetScroll, deLayoutChange,
  deUpdateRecord, deUpdateState, deCheckBrowseMode
};

// What follows a database error of a record operation (see DataSet::OnPostError).
enum DataAction { daFail, daAbort, daRetry };

enum FieldAlignment { taLeftJustify, taRightJustify, taCenter };

// Provider flags of a field (bit set).
enum ProviderFlag : unsigned { pfInUpdate = 1, pfInWhere = 2, pfInKey = 4, pfHidden = 8 };
using ProviderFlagSet = unsigned;

// Filter options (bit set).
enum FilterOption : unsigned { foCaseInsensitive = 1, foNoPartialCompare = 2 };
using FilterOptions = unsigned;

// Index options (bit set).
enum IndexOption : unsigned {
  ixPrimary = 1, ixUnique = 2, ixDescending = 4, ixCaseInsensitive = 8, ixExpression = 16,
  ixNonMaintained = 32
};
using IndexOptions = unsigned;

// Locate options (bit set).
enum LocateOption : unsigned { loCaseInsensitive = 1, loPartialKey = 2 };
using LocateOptions = unsigned;

inline bool IsBlobType(FieldType t) {
  switch (t) {
    case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: case ftParadoxOle:
    case ftDBaseOle: case ftTypedBinary: case ftOraBlob: case ftOraClob:
      return true;
    default:
      return false;
  }
}

// The framework's packed decimal: held here as a currency value (the amount times
// 10,000 as a signed 64-bit number) in the first 8 bytes of 34, the rest zero; a value
// whose bytes 8..33 are not all zero is not a valid decimal.
constexpr int kBcdSize = 34;

// Time stamp with fractions, as the framework stores it (16 bytes).
struct SqlTimeStamp {
  std::int16_t Year;
  std::uint16_t Month, Day, Hour, Minute, Second;
  std::uint32_t Fractions;
};
static_assert(sizeof(SqlTimeStamp) == 16);

}  // namespace dataset

// Notifications, block reading, blob release, records from values and the exception handler.
#include <mutex>

#include "memtable/mem_table.h"

namespace memtable {

using namespace dataset;

namespace {

std::mutex& HandlerLock() {
  static std::mutex lock;
  return lock;
}
TmvxCustomMemTable::ExceptionHandler& Handler() {
  static TmvxCustomMemTable::ExceptionHandler handler;
  return handler;
}

}  // namespace

void TmvxCustomMemTable::SetApplicationExceptionHandler(ExceptionHandler handler) {
  std::lock_guard<std::mutex> lock(HandlerLock());
  Handler() = std::move(handler);
}

void TmvxCustomMemTable::InternalHandleException(std::exception_ptr error) {
  ExceptionHandler handler;
  {
    std::lock_guard<std::mutex> lock(HandlerLock());
    handler = Handler();
  }
  if (handler && error) handler(error);
}

void TmvxCustomMemTable::Notification(const void* component, TOperation operation) {
  if (operation != opRemove || !component) return;
  if (component == this) {
    if (Active()) {
      WritePersistentFile();
      Close();
    }
    return;
  }
  if (component == MasterSource()) SetMasterSource(nullptr);
  if (component == deltaHandler_) SetDeltaHandler(nullptr);
  if (component == attachedTo_) SetAttachedTo(nullptr);
  for (TmvxCustomStreamFormat** format : {&DefaultFormat, &CommaTextFormat, &PersistentFormat, &FormFormat})
    if (*format == component) *format = nullptr;
}

void TmvxCustomMemTable::SetBlockReadSize(int value) {
  if (value < 0) value = 0;
  if (value == blockReadSize_) return;
  if (value == 0) {
    blockReadSize_ = 0;
    if (State() == dsBlockRead) SetState(dsBrowse);
    if (Active()) {
      // The cursor's place is found again from the record the walk stands on.
      CursorPosChanged();
      Refresh();
    }
    return;
  }
  CheckBrowseMode();
  blockReadSize_ = value;
  SetState(dsBlockRead);
  Next();
}

void TmvxCustomMemTable::CloseBlob(Field& field) {
  if (!field.IsBlob() || !cursorOpen_ || !ActiveBuffer()) return;
  auto* buffer = reinterpret_cast<PmvxRecord>(ActiveBuffer());
  TmvxCommon::Guard g(*common_);
  // An edited record keeps the contents written to it until it is posted or cancelled.
  if (State() == dsEdit && StoredRecordOf(buffer)) return;
  const int no = field.FieldNo();
  if (no <= 0 || no > common_->FieldCount() || !(common_->FieldFlags(no - 1) & ffBlob)) return;
  std::uint8_t* slot = common_->FieldPointer(buffer, &field);
  if (!slot) return;
  // The buffer's block is freed, not only forgotten; a stored record's contents are read
  // from the store again.
  common_->BlobFree(TmvxCommon::SlotBlob(slot));
  TmvxCommon::SetSlotBlob(slot, 0);
}

void TmvxCustomMemTable::AddRecordWithValues(const std::vector<Variant>& values, bool append) {
  if (append)
    Append();
  else
    Insert();
  try {
    for (std::size_t i = 0; i < values.size() && i < static_cast<std::size_t>(FieldCount()); ++i) {
      const Variant& value = values[i];
      Field& field = GetField(static_cast<int>(i));
      if (value.kind() == Variant::Empty || (field.Kind() != fkData && field.Kind() != fkInternalCalc)) continue;
      if (value.IsNull())
        field.Clear();
      else
        field.SetValue(value);
    }
    Post();
  } catch (...) {
    Cancel();
    throw;
  }
}

}  // namespace memtable

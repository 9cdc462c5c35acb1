// The progress window of a bulk read (the linked drive into ReadValues) or a bulk write (the
// open document to every station of a set), in the chosen transfer groups.
#pragma once

#include <QDialog>
#include <array>
#include <vector>

#include "core/modbus.h"
#include "core/station_set.h"
#include "ui/drive/progress_box.h"

namespace ui {

class TReadWriteForm : public TProgressBox {
  Q_OBJECT
 public:
  explicit TReadWriteForm(QWidget* parent = nullptr);

  bool ReadMode = true;
  int Station = 0;             // read mode
  core::StationSet Stations;   // write mode
  std::array<bool, 9> Groups{};

  // After a failed write: the result of the failed transaction and what to tell the user
  // (the parameter, the station, why, and what had been written already). A port that failed
  // ends a read or a write at once, without a message of its own.
  core::TransactionResult FailedResult = 0;
  QString Failure;

 public slots:
  // Read: IdYes done, IdNo a read failed.
  void ReadLoop();
  // Write: IdYes done, IdNo the last station failed, IdRetry it refused a value (exception 3),
  // IdCancel the user chose not to go on after a failure.
  void WriteLoop();

 protected:
  void showEvent(QShowEvent* event) override;
  bool event(QEvent* event) override;

 private:
  bool InGroups(int transferGroup) const;
  // The indexes the loop goes through: into ParamDefs (read) or into Document (write).
  std::vector<int> Selected() const;
  // Widens the window (300 pixels at least) so that the label shows the longest text of the
  // loop in full: the read or write text in any language followed by the longest code.
  void SizeToTexts(const std::vector<int>& selected);
};

}  // namespace ui

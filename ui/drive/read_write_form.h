// The progress window of a bulk read (the linked drive into ReadValues) or a bulk write (the
// open document to every station of a set), in the chosen transfer groups.
#pragma once

#include <QDialog>
#include <array>

#include "core/station_set.h"

class QLabel;
class QProgressBar;

namespace ui {

class TReadWriteForm : public QDialog {
  Q_OBJECT
 public:
  explicit TReadWriteForm(QWidget* parent = nullptr);

  bool ReadMode = true;
  int Station = 0;             // read mode
  core::StationSet Stations;   // write mode
  std::array<bool, 9> Groups{};

  QLabel* Label1;
  QProgressBar* ProgBar;

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
};

}  // namespace ui

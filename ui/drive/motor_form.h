// The motor data table of the linked model: its records in a grid, filled from the drive's
// motor in use and named by a code (Insert, Replace), deleted, and downloaded into the drive
// record by record through the download progress window. Every change is written to the
// model's motor file at once.
#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <vector>

#include "core/modbus.h"
#include "core/motor.h"
#include "ui/drive/progress_box.h"

class QGroupBox;
class QPushButton;
class QTableWidget;

namespace ui {

class TMotorForm : public QDialog {
  Q_OBJECT
 public:
  explicit TMotorForm(QWidget* parent = nullptr);

  QGroupBox* GroupBox1;
  QTableWidget* parGrid;
  QPushButton* InsButton;
  QPushButton* DelButton;
  QPushButton* ChgButton;
  QPushButton* UpdButton;
  QPushButton* CloseButton;

  int Model = 0;
  int MotorRegister = 0;
  int RecordCount = 0;
  QString FileName;
  // When the serial port failed, the window closed at once; what it had done then (the record
  // a download stopped at), for the main window's message.
  QString PortFailure;

  void FillGrid();
  // The grid in its own row numbers: row 0 is the header row, record r is row r + 1.
  int RowCount() const;
  QString Cell(int column, int row) const;
  int SelectedRow() const;
  void SelectRow(int row);

  void InsButtonClick();
  void DelButtonClick();
  void ChgButtonClick();
  void UpdButtonClick();
  void parGridDrawCell(QPainter* painter, int column, int row, const QRect& rect);

 private:
  void FormCreate();
  // The data of the drive's motor in use; false (after its message) when they cannot be used.
  bool ReadCurrentMotor(core::MotorWords& words);
  // Asks until a usable code is typed; false when the user cancels.
  bool AskCode(std::string& field);
  // True when the model has no motor password or the user types it.
  bool PasswordGiven();
  // Writes the table to the motor file; when that fails the record at `index` goes back to
  // `before` and the user is told why.
  bool StoreTable(int index, const core::MotorRecord& before);
  // Record `index` becomes the drive's motor in use under a code the user types, and the table
  // is stored; false when the motor cannot be read, the user cancels or the store fails.
  bool TakeCurrentMotor(int index);
  int SelectedRecordInUse() const;

  std::vector<int> columnWords_;  // the word index shown by each grid column from column 2 on
  std::vector<int> columnDecimals_;
};

// The download's progress window: writes every record of the table, free ones included, to
// the drive at the table's registers. IdYes when all were written, IdNo when a write failed.
class TWriteMotorForm : public TProgressBox {
  Q_OBJECT
 public:
  explicit TWriteMotorForm(QWidget* parent = nullptr);

  int Station = 0;
  int StartRegister = 0;
  int Count = 0;

  // After a failed write: the record (1-based) and the transaction's result.
  int FailedRecord = 0;
  core::TransactionResult FailedResult = 0;
  // What reading the failed record back showed, when the drive may have stored it all the same.
  QString ReadBack;

 public slots:
  void DownloadLoop();

 protected:
  void showEvent(QShowEvent* event) override;
  bool event(QEvent* event) override;
};

}  // namespace ui

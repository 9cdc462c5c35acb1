// The link dialog: serial port, baud rate and the stations to look for.
#pragma once

#include <QDialog>
#include <array>

#include "core/station_set.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace ui {

class TLinkForm : public QDialog {
  Q_OBJECT
 public:
  explicit TLinkForm(QWidget* parent = nullptr);

  // The rates of the baud radio buttons, in order.
  static constexpr std::array<int, 5> kBaudRates = {4800, 9600, 19200, 38400, 57600};

  // Checks the radio button of `baud`; false when no button has that rate.
  bool SetBaud(int baud);
  // The rate of the checked radio button (0 when none is checked).
  int Baud() const;

  // The set built by the Link button.
  core::StationSet Stations;

  QGroupBox* GroupBox1;
  QLabel* Label2;
  QComboBox* comboPort;
  QGroupBox* GroupBox2;
  std::array<QRadioButton*, 5> RadioBaud{};
  QGroupBox* GroupBox7;
  QLineEdit* editStation;
  QPushButton* Link;
  QPushButton* Unlink;
  QPushButton* Close;

 public slots:
  void LinkClick();
};

}  // namespace ui

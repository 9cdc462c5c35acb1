// The station probe: asks the stations of a set, in ascending order, for their device
// identification until one answers. The station that answered is asked again until the line
// is known to echo the requests or not (core::SettleLineEcho), so that nothing is written on a
// line known neither way; a station after which the line stays unknown counts as not answering.
#pragma once

#include <QDialog>

#include "core/modbus.h"
#include "core/station_set.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace ui {

class TConnectForm : public QDialog {
  Q_OBJECT
 public:
  explicit TConnectForm(QWidget* parent = nullptr);

  // Asks the one station of the set directly, before the window is shown: IdYes when it
  // answered and the line is known (its texts trimmed), IdNo when not, IdCancel when the set holds more or
  // fewer than one station (the window then has to be shown to scan).
  int ProbeSingleStation();
  // The result of the single station's identification and line learning (what its IdNo means).
  core::TransactionResult ProbeResult = 0;

  core::StationSet Stations;
  bool Cancelled = false;

  QLabel* Label1;
  QProgressBar* ProgBar;
  QPushButton* Cancel;

 public slots:
  void CancelClick();
  // Runs inside the modal loop; ends it with IdYes (DeviceStation answered) or IdCancel.
  void ScanStations();

 protected:
  void showEvent(QShowEvent* event) override;
  bool event(QEvent* event) override;
};

}  // namespace ui

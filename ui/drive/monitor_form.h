// The monitor window: live values, status and bit lamps of the linked drive, its command
// buttons, set-points, the register read/write panel and the forced inputs. Everything shown
// follows the linked model's monitor items. The buttons only raise requests; the 300 ms timer
// tick serves them in a fixed order and then polls.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <vector>

#include "core/records.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimer;

namespace ui {

class TMonitorForm : public QDialog {
  Q_OBJECT
 public:
  explicit TMonitorForm(QWidget* parent = nullptr);
  ~TMonitorForm() override;

  // Builds the window from the linked model and reads the set-points (which starts the timer).
  void FormCreate();

  // Request indexes (the order the tick serves them in is fixed by TimerTimer).
  enum Request {
    kCommand1 = 0,  // .. kCommand1 + 7
    kControlType = 8,
    kRegisterRead = 9,
    kRegisterWrite = 10,
    kSpeed1 = 11,     // .. kSpeed1 + 3
    kPosition1 = 15,  // .. kPosition1 + 3
    kForce = 19,
    kRequestCount = 20
  };

  // Handlers.
  void ButtonCmdClick(int k);  // k 1..8
  void ButtonConSetClick();
  void Button1Click();         // register read
  void Button2Click();         // register write
  void SetpointClick(int k);   // k 1..8: Button3..Button10
  void ForceClick(int k, bool set);  // k 1..5: ButtonSet k / ButtonReset k
  void comboParChange();
  void TimerTimer();

  void RefreshSetpoints();
  void ReadSetpointEdits();

  bool Requested(int request) const { return requests_[static_cast<std::size_t>(request)]; }
  bool RefreshPending() const { return refreshPending_; }
  std::uint16_t ForceWord() const { return forceWord_; }
  int Failures() const { return failures_; }
  QTimer* Timer() const { return timer_; }

  // Widgets, by the names the tests and the rest of the program use.
  QLabel *Label5, *StaticIDFIR, *Label6, *StaticIDENC;
  QGroupBox *GroupBox1, *GroupBox2, *GroupBox3, *GroupBox4, *GroupBox5, *GroupBox6, *GroupBox7, *GroupBox8;
  std::array<QLineEdit*, 4> editSpeed{};
  std::array<QLineEdit*, 4> editPos{};
  std::array<QLabel*, 8> setpointName{};  // Label8, 10, 12, 14, 21, 23, 25, 27
  std::array<QLabel*, 8> setpointUnit{};  // Label9, 11, 13, 15, 22, 24, 26, 28
  std::array<QPushButton*, 8> setpointButton{};  // Button3..Button10
  QLabel *Label4, *Label2, *Label3;
  QLineEdit *editControl, *editAdd, *editVal;
  QPushButton *ButtonConSet, *Button1, *Button2;
  std::array<QLabel*, 3> statusLabel{};   // Label29..Label31
  std::array<QLabel*, 3> StaticStatus{};
  std::array<QPushButton*, 8> ButtonCmd{};
  std::array<QLabel*, 7> monLabel{};      // Label7, 16, 17, 18, 19, 20, 32
  std::array<QLabel*, 7> StaticMon{};
  QLabel *Label33, *Label34, *StaticMonValue;
  QComboBox* comboPar;
  QTableWidget* advGrid;
  std::array<QPushButton*, 5> ButtonSet{};
  std::array<QPushButton*, 5> ButtonReset{};
  std::array<QLabel*, 5> PanelInput{};
  QLabel* PanelOutput1;
  std::array<QLabel*, 16> PanelAlarm{};
  std::array<QLabel*, 8> PanelStato{};
  QLabel *Label35, *Label1, *Label37;

 protected:
  void done(int result) override;
  // Closing the window (or Escape) ends it with IdCancel.
  void reject() override;

 private:
  const core::smod& Model() const;
  void BuildLayout();
  void ApplyCaptions();
  void SetLit(QLabel* panel, bool lit);
  void ServeSetpoint(int k);
  bool ServeTick();  // false when the tick ended early
  // The item of set-point k (0..7: speeds then positions) and its edit.
  const core::MonitorItem& SetpointItem(int k) const;
  QLineEdit* SetpointEdit(int k) const;
  // The type letter of the linked model's first parameter at register `address`, or 0.
  char ParameterLetterAt(int address) const;
  void StartTimer();

  int model_ = 0;  // index into Models
  int failures_ = 0;
  int advancedRows_ = 0;
  std::vector<int> parIndex_;
  std::array<bool, kRequestCount> requests_{};
  std::array<bool, 8> setpointRead_{};
  bool refreshPending_ = false;
  std::uint16_t alarmWord_ = 0, inputWord_ = 0, outputWord_ = 0, statusWord_ = 0;
  std::uint16_t forceWord_ = 0;
  bool ticking_ = false;
  bool closed_ = false;
  QTimer* timer_ = nullptr;
};

}  // namespace ui

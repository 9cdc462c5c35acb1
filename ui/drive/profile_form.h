// The profile window: reads the drive's mode settings and set-points, shows seven status lamps
// from register 900 every 500 ms, and sends one motion profile as seven words from register
// 910. Its registers are fixed; it does not depend on the model's definitions.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "ui/drive/profile_words.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;

namespace controls {
class TTypedEdit;
}

namespace ui {

class TProfileForm : public QDialog {
  Q_OBJECT
 public:
  explicit TProfileForm(QWidget* parent = nullptr);
  ~TProfileForm() override;

  void FormCreate();
  void ReadSettings();
  void ReadSetpoints();
  void comboF003Change();
  void CheckHomeClick();
  void Button1Click();  // Send
  void TimerTimer();

  // The mode: the value of the chosen F003 entry, 0 when none is chosen.
  int Mode() const;
  bool SettingsPending() const { return settingsPending_; }
  int Failures() const { return failures_; }
  QTimer* Timer() const { return timer_; }
  // What the entries hold now, as Send would take it.
  ProfileEntry Entry() const;

  QGroupBox *GroupSetting, *GroupStatus;
  QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label8, *Label9;
  QComboBox *comboF001, *comboF002, *comboF003, *comboF257;
  controls::TTypedEdit *EditAccel, *EditDecel, *EditSpeed, *EditTorque, *EditPosition;
  QCheckBox *CheckEnable, *CheckRun, *CheckReset, *CheckHome, *CheckDir;
  QPushButton* Button1;
  std::array<QLabel*, 7> Panel{};  // Panel1..Panel7
  QPushButton *OK, *Cancel;

 protected:
  void done(int result) override;
  // Closing the window (or Escape) ends it with IdCancel.
  void reject() override;

 private:
  void ApplyModeEnabling(int mode);
  // Runs an action that needs the link: at once when no tick or other action is running,
  // else when the running one ends. It never waits, so a double click or an action while the
  // timer is off cannot hang the window.
  void RunExclusive(std::function<void()> action);
  void RunQueued();
  // Closes the window when the serial port has failed; true then.
  bool EndedByPortFailure();
  void StartTimer();

  std::array<bool, 5> read_{};
  bool settingsPending_ = false;
  bool busy_ = false;  // a tick or an action is using the link
  bool closed_ = false;
  int failures_ = 0;
  std::vector<std::function<void()>> queued_;
  QTimer* timer_ = nullptr;
};

}  // namespace ui

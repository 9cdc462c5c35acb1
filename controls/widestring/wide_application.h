// Wide-string support at the application level: start-up and shut-down of the support, the
// wide application object with its wide hint and title, and the message hook.
//
// A thin layer over Qt: Qt's application, windows and key events are UTF-16 throughout, so the
// title is Qt's application display name and a typed character of any plane reaches its widget
// without help. What Qt does not do is built here: one application-wide hint with its long part
// routed to the main window (a QStatusTipEvent, which the main window shows in its status bar),
// the hint of the control under the mouse taken up each time the application goes idle, and the
// message hook that offers wide typed characters to OnMessage first.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>

namespace widestring {

class TWidePopupList;

class TWideApplication : public QObject {
  Q_OBJECT
 public:
  TWideApplication();
  ~TWideApplication() override;

  // The application's hint. Setting a different one routes it to the main form, as does setting
  // the same one after another status text reached the main form.
  QString Hint() const { return hint_; }
  void SetHint(const QString& hint);
  // The application's title (Qt's application display name).
  QString Title() const;
  void SetTitle(const QString& title);
  // Takes the long part of the wide hint of `control` (or of the first of its parents that
  // has one) as the application's hint.
  void HintRefresh(QWidget* control);

  // The window that receives the hints: the one set, else the first top-level main window.
  QWidget* MainForm() const;
  void SetMainForm(QWidget* form) { mainForm_ = form; }

  // Runs for each typed character of code 256 or more before its widget gets it; setting
  // `handled` keeps the character from the widget.
  std::function<void(QObject* receiver, const QString& text, bool& handled)> OnMessage;

  // Milliseconds since the epoch of the steady clock at creation and at each change of the
  // system's settings (a locale, font or palette change); the same value goes to the global
  // LastSettingChangeTick().
  std::int64_t LastSettingChangeTick = 0;
  bool MessageHookDone = false;  // the idle hint refresh is running
  QObject* IdleEventControl() const { return idleEventControl_; }

 signals:
  void HintChanged(const QString& hint);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SettingChanged();
  void MakeIdleEventControl(QWidget* mainForm);
  void IdleRefresh();

  QString hint_;
  QPointer<QWidget> mainForm_;
  QPointer<QObject> idleEventControl_;
  bool hintShown_ = false;    // the main form shows hint_ (no other status text came since)
  bool routingHint_ = false;  // hint_ is on its way to the main form
};

// The wide application object between start-up and shut-down, else null.
TWideApplication* WideApplication();
// The global copy of the wide application object's LastSettingChangeTick, set with it (0 before
// the first object); it stays when the object goes.
std::int64_t LastSettingChangeTick();
// The wide popup list between start-up and shut-down, else null.
TWidePopupList* WidePopupList();

// Start-up of the support, after the QApplication exists and before the windows: the default
// code page, the wide application object and its hook, the wide popup list, the destroy-window
// message and the two atoms. Counted: only the first start-up and the last shut-down act.
void StartWideStringSupport();
void StopWideStringSupport();

// The settings that StartWideStringSupport fixes.
unsigned DestroyWindowMessage();
std::uint16_t WindowAtom();
std::uint16_t ControlAtom();
std::string WindowAtomName();
std::string ControlAtomName();

// The hint action: hands `hint` to `target` as a QStatusTipEvent, as the application's hint
// reaches a status bar.
class TWideHintAction {
 public:
  explicit TWideHintAction(QString hint) : Hint(std::move(hint)) {}
  bool Execute(QWidget* target) const;
  QString Hint;
};

}  // namespace widestring

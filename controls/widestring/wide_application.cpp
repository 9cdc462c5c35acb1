#include "controls/widestring/wide_application.h"

#include <QAbstractEventDispatcher>
#include <QInputMethodEvent>
#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusTipEvent>
#include <QToolTip>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <dlfcn.h>
#include <memory>
#include <sys/syscall.h>
#include <unistd.h>

#include "controls/widestring/code_pages.h"
#include "controls/widestring/wide_menus.h"
#include "controls/widestring/wide_properties.h"
#include "controls/widestring/wide_texts.h"
#include "platform/window_atoms.h"

namespace widestring {

namespace {

std::int64_t TickCount() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The state of the support between start-up and shut-down.
struct Support {
  int starts = 0;
  std::unique_ptr<TWideApplication> application;
  std::unique_ptr<TWidePopupList> popupList;
  unsigned destroyWindowMessage = 0;
  std::string windowAtomName;
  std::string controlAtomName;
  std::uint16_t windowAtom = 0;
  std::uint16_t controlAtom = 0;
};

Support& State() {
  static Support support;
  return support;
}

std::int64_t lastSettingChangeTick = 0;

std::string Hex8(std::uint64_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%.8X", static_cast<unsigned>(value & 0xFFFFFFFFu));
  return text;
}

// The load address of the module that holds the widget classes, as the module's handle.
std::uint64_t WidgetModuleHandle() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&QWidget::staticMetaObject), &info) && info.dli_fbase)
    return reinterpret_cast<std::uintptr_t>(info.dli_fbase);
  return 0;
}

// The control of the idle hint refresh, owned by the main form: it goes with the form.
class TWideAppIdleEventControl : public QObject {
 public:
  using QObject::QObject;
};

}  // namespace

TWideApplication::TWideApplication() { SettingChanged(); }

TWideApplication::~TWideApplication() { delete idleEventControl_.data(); }

void TWideApplication::SettingChanged() {
  LastSettingChangeTick = TickCount();
  lastSettingChangeTick = LastSettingChangeTick;
}

void TWideApplication::SetHint(const QString& hint) {
  if (hint == hint_ && hintShown_) return;
  const bool changed = hint != hint_;
  hint_ = hint;
  if (changed) emit HintChanged(hint_);
  routingHint_ = true;
  TWideHintAction(hint_).Execute(MainForm());
  routingHint_ = false;
  hintShown_ = true;
}

QString TWideApplication::Title() const { return QGuiApplication::applicationDisplayName(); }

void TWideApplication::SetTitle(const QString& title) {
  if (QGuiApplication::applicationDisplayName() != title) QGuiApplication::setApplicationDisplayName(title);
}

void TWideApplication::HintRefresh(QWidget* control) { SetHint(QString::fromStdU16String(LongHintPart(WideControlHintUp(control).toStdU16String()))); }

QWidget* TWideApplication::MainForm() const {
  if (mainForm_) return mainForm_;
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (qobject_cast<QMainWindow*>(w)) return w;
  return nullptr;
}

void TWideApplication::MakeIdleEventControl(QWidget* mainForm) {
  auto* control = new TWideAppIdleEventControl(mainForm);
  control->setObjectName("WideAppIdleEventControl");
  idleEventControl_ = control;
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread()))
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, control, [this] { IdleRefresh(); });
  MessageHookDone = true;
}

void TWideApplication::IdleRefresh() {
  // The hint of the control under the mouse, read at each idle: it may change while the mouse
  // rests on its control. An open menu and the menu bar give their hints themselves.
  if (QApplication::activePopupWidget()) return;
  QWidget* control = QApplication::widgetAt(QCursor::pos());
  if (!control || qobject_cast<QMenu*>(control) || qobject_cast<QMenuBar*>(control)) return;
  HintRefresh(control);
}

bool TWideApplication::eventFilter(QObject* watched, QEvent* event) {
  if (!MessageHookDone && event->type() == QEvent::Show) {
    if (QWidget* form = MainForm()) MakeIdleEventControl(form);
  }
  switch (event->type()) {
    case QEvent::StatusTip:
      // Qt's own status tips (a widget's, on entering and leaving it) replace the hint shown:
      // the next idle routes the hint again, even when it did not change.
      if (!routingHint_ && watched == MainForm()) hintShown_ = false;
      break;
    case QEvent::LocaleChange:
    case QEvent::ApplicationFontChange:
    case QEvent::ApplicationPaletteChange:
      SettingChanged();
      break;
    case QEvent::KeyPress:
    case QEvent::InputMethod: {
      // Once per character: at the focus widget, not again at each parent a key passes on the
      // way up. A key's text, or the text an input method commits (a dead key or Compose
      // sequence, a CJK input method), is offered when it holds a character of 256 or more.
      QWidget* focus = QApplication::focusWidget();
      if (!watched->isWidgetType() || (focus && watched != focus)) break;
      const QString text = event->type() == QEvent::KeyPress ? static_cast<QKeyEvent*>(event)->text()
                                                             : static_cast<QInputMethodEvent*>(event)->commitString();
      if (std::none_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 256; })) break;
      bool handled = false;
      if (OnMessage) OnMessage(watched, text, handled);
      QToolTip::hideText();
      if (handled) return true;
      break;  // Qt delivers the character as it is
    }
    default:
      break;
  }
  return false;
}

bool TWideHintAction::Execute(QWidget* target) const {
  if (!target) return false;
  QStatusTipEvent tip(Hint);
  return QCoreApplication::sendEvent(target, &tip);
}

TWideApplication* WideApplication() { return State().application.get(); }
std::int64_t LastSettingChangeTick() { return lastSettingChangeTick; }
TWidePopupList* WidePopupList() { return State().popupList.get(); }

void StartWideStringSupport() {
  Support& s = State();
  if (s.starts++ > 0) return;
  RestoreDefaultUserCodePage();
  // Wide properties of form streams; their "W" reading switch stays off.
  SetWideFormPropertyReading(false);
  InstallWidePropertyFilers();
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) throw EWideInternalError("Wide-string internal error: no application object to hook.");
  s.application = std::make_unique<TWideApplication>();
  app->installEventFilter(s.application.get());
  s.popupList = std::make_unique<TWidePopupList>();
  s.destroyWindowMessage = CheckResult(platform::RegisterWindowMessageA("WideStringSupport.DestroyWindow"));
  s.windowAtomName = "KVXWindow" + Hex8(static_cast<std::uint64_t>(getpid()));
  s.controlAtomName = "ControlOfs" + Hex8(WidgetModuleHandle()) + Hex8(static_cast<std::uint64_t>(syscall(SYS_gettid)));
  s.windowAtom = static_cast<std::uint16_t>(CheckResult(platform::GlobalAddAtomA(s.windowAtomName)));
  s.controlAtom = static_cast<std::uint16_t>(CheckResult(platform::GlobalAddAtomA(s.controlAtomName)));
}

void StopWideStringSupport() {
  Support& s = State();
  if (s.starts == 0 || --s.starts > 0) return;
  platform::GlobalDeleteAtom(s.windowAtom);
  platform::GlobalDeleteAtom(s.controlAtom);
  s.windowAtom = s.controlAtom = 0;
  s.windowAtomName.clear();
  s.controlAtomName.clear();
  s.popupList.reset();
  if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(s.application.get());
  s.application.reset();
  UninstallWidePropertyFilers();
  RestoreDefaultUserCodePage();
}

unsigned DestroyWindowMessage() { return State().destroyWindowMessage; }
std::uint16_t WindowAtom() { return State().windowAtom; }
std::uint16_t ControlAtom() { return State().controlAtom; }
std::string WindowAtomName() { return State().windowAtomName; }
std::string ControlAtomName() { return State().controlAtomName; }

}  // namespace widestring

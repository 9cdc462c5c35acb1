#include "controls/widestring/wide_menus.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <algorithm>

#include "controls/widestring/keyboard_chars.h"
#include "controls/widestring/wide_actions.h"
#include "controls/widestring/wide_application.h"
#include "controls/widestring/wide_texts.h"

namespace widestring {

namespace {

std::u16string U16(const QString& text) { return text.toStdU16String(); }
QString Q(const std::u16string& text) { return QString::fromStdU16String(text); }

constexpr const char* kHintProperty = "wideHint";

}  // namespace

void SyncHotKey(QAction* action, const QString& marked) {
  action->setText(Q(SyncHotKeyPosition(U16(action->text()), U16(marked))));
}

namespace {

// The virtual key of a letter, digit or numeric-pad key of a shortcut, 0 for any other key. Qt
// names the pad's decimal key by the character the layout gives it, "." or ",".
unsigned VirtualKey(QKeyCombination key) {
  const int k = key.key();
  const bool pad = key.keyboardModifiers().testFlag(Qt::KeypadModifier);
  if (k >= Qt::Key_A && k <= Qt::Key_Z) return VK_A + static_cast<unsigned>(k - Qt::Key_A);
  if (k >= Qt::Key_0 && k <= Qt::Key_9) return (pad ? VK_NUMPAD0 : VK_0) + static_cast<unsigned>(k - Qt::Key_0);
  if (!pad) return 0;
  switch (k) {
    case Qt::Key_Asterisk: return VK_MULTIPLY;
    case Qt::Key_Plus: return VK_ADD;
    case Qt::Key_Minus: return VK_SUBTRACT;
    case Qt::Key_Period:
    case Qt::Key_Comma: return VK_DECIMAL;
    case Qt::Key_Slash: return VK_DIVIDE;
    default: return 0;
  }
}

}  // namespace

QString WideShortCutToText(const QKeySequence& shortcut, const KeyboardLayout& layout) {
  QStringList keys;
  for (int i = 0; i < shortcut.count(); ++i) {
    // Qt writes the shift states before the key's name; the name of a letter, digit or pad key
    // is the layout's character, where it has one.
    const QKeyCombination key = shortcut[i];
    QString text = QKeySequence(key).toString(QKeySequence::NativeText);
    const QString name = QKeySequence(QKeyCombination(key.key())).toString(QKeySequence::NativeText);
    const unsigned virtualKey = VirtualKey(key);
    const char16_t c = virtualKey ? WideKeyboardChar(virtualKey, layout) : u'\0';
    if (c && text.endsWith(name)) text = text.chopped(name.size()) + QChar(c);
    keys << text;
  }
  return keys.join(", ");
}

QString WideShortCutToText(const QKeySequence& shortcut) { return WideShortCutToText(shortcut, *CurrentKeyboardLayout()); }

QString WideControlText(const QWidget* control) {
  if (const auto* w = qobject_cast<const QLabel*>(control)) return w->text();
  if (const auto* w = qobject_cast<const QAbstractButton*>(control)) return w->text();
  if (const auto* w = qobject_cast<const QGroupBox*>(control)) return w->title();
  if (const auto* w = qobject_cast<const QLineEdit*>(control)) return w->text();
  if (const auto* w = qobject_cast<const QPlainTextEdit*>(control)) return w->toPlainText();
  if (const auto* w = qobject_cast<const QTextEdit*>(control)) return w->toPlainText();
  if (const auto* w = qobject_cast<const QComboBox*>(control)) return w->currentText();
  return control->windowTitle();
}

void SetWideControlText(QWidget* control, const QString& text) {
  if (auto* w = qobject_cast<QLabel*>(control)) return w->setText(text);
  if (auto* w = qobject_cast<QAbstractButton*>(control)) return w->setText(text);
  if (auto* w = qobject_cast<QGroupBox*>(control)) return w->setTitle(text);
  if (auto* w = qobject_cast<QLineEdit*>(control)) return w->setText(text);
  if (auto* w = qobject_cast<QPlainTextEdit*>(control)) return w->setPlainText(text);
  if (auto* w = qobject_cast<QTextEdit*>(control)) return w->setPlainText(text);
  if (auto* w = qobject_cast<QComboBox*>(control)) return w->setCurrentText(text);
  control->setWindowTitle(text);
}

QString WideControlHint(const QWidget* control) {
  // The hint as it was set, while tool tip and status tip still hold its parts; else what they
  // hold now.
  const QString stored = control->property(kHintProperty).toString();
  if (control->toolTip() == Q(ShortHintPart(U16(stored))) && control->statusTip() == Q(LongHintPart(U16(stored))))
    return stored;
  // A hint without "|" serves as both parts: a tool tip alone (or the same text twice) is one.
  if (control->statusTip().isEmpty() || control->toolTip() == control->statusTip()) return control->toolTip();
  return control->toolTip() + "|" + control->statusTip();
}

void SetWideControlHint(QWidget* control, const QString& hint) {
  control->setProperty(kHintProperty, hint);
  control->setToolTip(Q(ShortHintPart(U16(hint))));
  control->setStatusTip(Q(LongHintPart(U16(hint))));
}

QString WideControlHintUp(const QWidget* control) {
  for (; control; control = control->parentWidget()) {
    const QString hint = WideControlHint(control);
    if (!hint.isEmpty()) return hint;
  }
  return QString();
}

int WideDrawText(QPainter& painter, const QRect& rect, int flags, const QString& text, int length) {
  QRect drawn;
  painter.drawText(rect, flags, length < 0 ? text : text.left(length), &drawn);
  return drawn.height();
}

QSize WideTextExtent(const QFontMetrics& metrics, const QString& text) {
  return QSize(metrics.horizontalAdvance(text), metrics.height());
}

int WideTextWidth(const QFontMetrics& metrics, const QString& text) { return metrics.horizontalAdvance(text); }

void TWidePopupList::Add(QMenuBar* bar) {
  if (Holds(bar)) return;
  menus_.emplace_back(bar);
  bar->installEventFilter(this);
  connect(bar, &QMenuBar::hovered, this, &TWidePopupList::Select);
  for (QAction* action : bar->actions())
    if (action->menu()) Add(action->menu());
}

void TWidePopupList::Add(QMenu* menu) {
  if (Holds(menu)) return;
  menus_.emplace_back(menu);
  menu->installEventFilter(this);
  connect(menu, &QMenu::hovered, this, &TWidePopupList::Select);
  connect(menu, &QMenu::aboutToHide, this, [this, menu] {
    // The menu loop ends with its top-level menu: no item is selected any more.
    if (qobject_cast<QMenuBar*>(menu->parentWidget()) && WideApplication()) WideApplication()->SetHint(QString());
  });
  for (QAction* action : menu->actions())
    if (action->menu()) Add(action->menu());
}

void TWidePopupList::Remove(QMenu* menu) {
  menu->removeEventFilter(this);
  disconnect(menu, nullptr, this, nullptr);
  menus_.erase(std::remove(menus_.begin(), menus_.end(), QPointer<QObject>(menu)), menus_.end());
}

int TWidePopupList::Count() const {
  return static_cast<int>(std::count_if(menus_.begin(), menus_.end(), [](const auto& m) { return !m.isNull(); }));
}

bool TWidePopupList::Holds(const QObject* object) const {
  return std::any_of(menus_.begin(), menus_.end(), [object](const auto& m) { return m == object; });
}

void TWidePopupList::Select(QAction* item) {
  TWideApplication* app = WideApplication();
  if (!app) return;
  app->SetHint(item ? Q(LongHintPart(U16(WideHint(item)))) : QString());
}

bool TWidePopupList::eventFilter(QObject* watched, QEvent* event) {
  // Qt's own status tips of the listed menus: the hint travels through the application instead.
  return event->type() == QEvent::StatusTip && Holds(watched);
}

}  // namespace widestring

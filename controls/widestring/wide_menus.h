// Wide-string support for menus and controls.
//
// A thin layer over Qt where Qt holds the text already: the wide text of a control is its Qt
// text; drawing and measuring are QPainter's and QFontMetrics'. Built here: the hint routing of
// the menus (TWidePopupList), the short and long parts of control hints, hot-key positions
// following a caption, and shortcut texts in the keyboard layout's characters.
#pragma once

#include <QKeySequence>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <vector>

#include "controls/widestring/wide_actions.h"

class QAction;
class QFontMetrics;
class QMenu;
class QMenuBar;
class QPainter;
class QWidget;

namespace widestring {

class KeyboardLayout;

// Menu item texts (the wide caption and hint of an item are its action's, wide_actions.h).
// Moves the "&" of `action`'s caption to where `marked` (the same text) has it; raises
// EWideInternalError when the texts differ in more than that.
void SyncHotKey(QAction* action, const QString& marked);
// The shortcut as the user reads it: the shift states as Qt writes them ("Ctrl+", "Shift+",
// "Num+" for the numeric pad, ...), then for a letter, digit or numeric-pad key the character
// the keyboard layout gives it (WideKeyboardChar: Ctrl+Q is "Ctrl+Й" in a Russian layout), for
// any other key, or one the layout gives no character, Qt's name of the key; the keys of a
// sequence are separated by ", ". Without a layout, in the current one (CurrentKeyboardLayout).
QString WideShortCutToText(const QKeySequence& shortcut, const KeyboardLayout& layout);
QString WideShortCutToText(const QKeySequence& shortcut);

// Control texts: the text of a label, button, group box, line or text edit, combo box, or the
// title of a window; the hint of a control as "short|long": the short part is its tool tip, the
// long part its status tip (one text without "|" serves as both: a control with a tool tip
// alone reads as that text).
QString WideControlText(const QWidget* control);
void SetWideControlText(QWidget* control, const QString& text);
QString WideControlHint(const QWidget* control);
void SetWideControlHint(QWidget* control, const QString& hint);
// The hint of `control`, or when empty that of its parent, and so on up.
QString WideControlHintUp(const QWidget* control);

// Draws `length` characters of `text` (all for -1) in `rect` with Qt alignment `flags`;
// returns the height of the drawn text.
int WideDrawText(QPainter& painter, const QRect& rect, int flags, const QString& text, int length = -1);
QSize WideTextExtent(const QFontMetrics& metrics, const QString& text);
int WideTextWidth(const QFontMetrics& metrics, const QString& text);

// The popup menus whose item hints become the application's hint. Hovering an item of a menu
// of the list makes the long part of its wide hint the wide application's Hint (an item
// without a hint clears it), and closing a top-level menu clears it; Qt's own status tips of
// those menus are kept from the window, so the hint reaches it once, by this road.
class TWidePopupList : public QObject {
  Q_OBJECT
 public:
  // A menu bar adds its menus and their sub-menus as they are at the call.
  void Add(QMenuBar* bar);
  void Add(QMenu* menu);
  void Remove(QMenu* menu);
  int Count() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Select(QAction* item);
  bool Holds(const QObject* object) const;
  std::vector<QPointer<QObject>> menus_;
};

}  // namespace widestring

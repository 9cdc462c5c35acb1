// Wide-string support for actions: the wide caption and hint of an action, Assign, and the link
// of a menu item to an action.
//
// A QAction holds UTF-16 text, so its wide caption is its text() (of a wide menu item, the text
// before its shortcut's, wide_menu_item.h). Its wide hint is one text, "short|long" (one text
// without "|" serves as both), of which Qt shows the short part as the action's tool tip and
// the long part as its status tip ("|Status only" leaves the action without a tool tip of its
// own: QAction::toolTip() then reads as the text, a menu shows none). The whole hint lives in
// the action's helper (TCustomActionHelper, a child of the action made on first use, so it goes
// with the action) and counts while the tool tip and status tip still hold its parts; once they
// were changed behind its back, the status tip is the hint, as for an action that never had a
// wide one.
#pragma once

#include <QAction>
#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

namespace widestring {

// The functions below throw EWideInternalError for a null action or item.
QString WideCaption(const QAction* action);
void SetWideCaption(QAction* action, const QString& caption);
QString WideHint(const QAction* action);
void SetWideHint(QAction* action, const QString& hint);

class TCustomActionHelper : public QObject {
  Q_OBJECT
 public:
  using QObject::QObject;
  QString Hint;
};
// The helper of `action`; made when it has none and `create` is set, else null.
TCustomActionHelper* ActionHelper(const QAction* action, bool create = false);

// `action` takes the wide caption and hint of `source` and its settings: checkable and checked,
// enabled, visible, shortcuts and icon.
void Assign(QAction* action, const QAction* source);
// `action` takes the wide text and hint of a control (WideControlText, WideControlHint).
void Assign(QAction* action, const QWidget* control);

// Gives `item` the action's caption unless its own already matches it with hot keys stripped,
// and the action's hint when its own is empty.
void TakeActionTexts(QAction* item, const QAction* action);

// The link of a menu item to an action, a child of the item. Triggering the item triggers the
// action and nothing else: Qt's toggle of a checkable item is undone, the item's checked state
// changes with the action's. Links that lead back to an item (a to b, b to a) run each action of
// the loop once. Linked, the item takes the action's texts as TakeActionTexts gives them, and its
// checked state (and whether it can be checked), enabled state and visibility. When the action
// changes, the item follows each of them that it still shares with the action as it was: the
// caption while the two captions are the same with hot keys stripped (and keeps its own hot key
// when the new caption is that text too), the hint while the two are equal or the item's is
// empty, each state while the two are equal. What the item was given of its own it keeps. The
// shortcut is not shared: in one window two actions with one shortcut would both lose it.
class TWideMenuActionLink : public QObject {
  Q_OBJECT
 public:
  TWideMenuActionLink(QAction* item, QAction* action);
  QAction* Action() const { return action_; }

  bool IsCaptionLinked() const;
  bool IsHintLinked() const;
  bool IsCheckedLinked() const;

 private:
  void Run(bool checked);
  void Follow();
  void Remember();

  QAction* item_;
  QPointer<QAction> action_;
  // The action as the item last followed it.
  QString caption_, hint_;
  bool checked_ = false, enabled_ = true, visible_ = true;
  bool running_ = false;  // its action is being triggered
};

// Links `item` to `action`, ending a link it had; a null action, or the item itself, only ends it.
void SetMenuItemAction(QAction* item, QAction* action);
// The action `item` is linked to, else null; its link, else null.
QAction* MenuItemAction(const QAction* item);
TWideMenuActionLink* MenuItemActionLink(const QAction* item);

}  // namespace widestring

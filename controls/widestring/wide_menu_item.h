// Wide-string support: the wide menu item, a menu item that names its shortcut in the keyboard
// layout.
//
// A menu shows an item's text, and after it the item's shortcut as Qt names it; when the text
// holds a tab, Qt shows what follows the tab there instead ("&Open\tCtrl+Й" shows "Ctrl+Й").
// A wide menu item writes its caption, a tab and its shortcut as WideShortCutToText names it in
// the current keyboard layout into the item's text (the caption alone while it has no
// shortcut), and records that layout. It writes them again when the item changes (its caption,
// its shortcut, or any other of its states), and when a menu that holds it is about to show
// under another layout than the recorded one. The item's wide caption (WideCaption) is its text
// before the tab; a text set on the item directly is taken as its caption. Its tool tip and icon
// text, unless it has its own, are those Qt derives for an action of the caption alone ("&Save..."
// with Ctrl+S reads "Save"), not of the whole text.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QAction;
class QMenu;

namespace widestring {

class KeyboardLayout;

class TWideMenuItem : public QObject {
  Q_OBJECT
 public:
  // Use AddWideMenuItem or MakeWideMenuItem.
  explicit TWideMenuItem(QAction* item);

  QString Caption() const;
  void SetCaption(const QString& caption);
  // The caption with the shortcut text of the current layout, the layout recorded.
  void ApplyCaption();
  // The layout the caption was last written in.
  std::shared_ptr<const KeyboardLayout> Layout() const { return layout_; }
  // Re-applies the caption when a menu holding the item is about to show.
  void Watch(QMenu* menu);

 private:
  void Changed();
  void AboutToShow();
  // The tool tip and icon text as Qt derives them from the caption, without the shortcut.
  void DeriveToolTipAndIconText(const QString& caption);

  QAction* item_;
  QString derivedToolTip_, derivedIconText_;
  std::shared_ptr<const KeyboardLayout> layout_;
};

// Makes `item` a wide menu item (a child of the item, so it goes with it), or gives the one it is.
TWideMenuItem* MakeWideMenuItem(QAction* item);
// Adds `item` to `menu` unless the menu holds it already, and makes it a wide menu item there.
TWideMenuItem* AddWideMenuItem(QMenu* menu, QAction* item);
// The wide menu item of `item`, else null.
TWideMenuItem* WideMenuItem(const QAction* item);

}  // namespace widestring

#include "controls/widestring/wide_menu_item.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

#include "controls/widestring/keyboard_chars.h"
#include "controls/widestring/wide_menus.h"
#include "controls/widestring/wide_texts.h"

namespace widestring {

namespace {

// The current layout; none when the environment names one that is not there (the shortcut is
// then named as Qt names it).
std::shared_ptr<const KeyboardLayout> CurrentLayoutOrNone() {
  try {
    return CurrentKeyboardLayout();
  } catch (const EWideGeneralError&) {
    return nullptr;
  }
}

}  // namespace

TWideMenuItem::TWideMenuItem(QAction* item) : QObject(item), item_(item) {
  connect(item, &QAction::changed, this, &TWideMenuItem::Changed);
  ApplyCaption();
}

QString TWideMenuItem::Caption() const {
  const QString text = item_->text();
  const qsizetype tab = text.indexOf(u'\t');
  return tab < 0 ? text : text.left(tab);
}

void TWideMenuItem::SetCaption(const QString& caption) {
  layout_ = CurrentLayoutOrNone();
  const QKeySequence shortcut = item_->shortcut();
  QString text = caption;
  if (!shortcut.isEmpty())
    text += u'\t' + (layout_ ? WideShortCutToText(shortcut, *layout_) : shortcut.toString(QKeySequence::NativeText));
  if (item_->text() != text) item_->setText(text);  // changed(): Changed() finds it written
  for (QObject* holder : item_->associatedObjects())
    if (auto* menu = qobject_cast<QMenu*>(holder)) Watch(menu);
}

void TWideMenuItem::ApplyCaption() { SetCaption(Caption()); }

void TWideMenuItem::Watch(QMenu* menu) {
  connect(menu, &QMenu::aboutToShow, this, &TWideMenuItem::AboutToShow, Qt::UniqueConnection);
}

void TWideMenuItem::Changed() { ApplyCaption(); }

void TWideMenuItem::AboutToShow() {
  if (CurrentLayoutOrNone() != layout_) ApplyCaption();
}

TWideMenuItem* WideMenuItem(const QAction* item) {
  return item ? item->findChild<TWideMenuItem*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

TWideMenuItem* MakeWideMenuItem(QAction* item) {
  if (!item) throw EWideInternalError("Wide-string internal error: no action.");
  TWideMenuItem* wide = WideMenuItem(item);
  return wide ? wide : new TWideMenuItem(item);
}

TWideMenuItem* AddWideMenuItem(QMenu* menu, QAction* item) {
  if (!menu->actions().contains(item)) menu->addAction(item);
  TWideMenuItem* wide = MakeWideMenuItem(item);
  wide->Watch(menu);
  return wide;
}

}  // namespace widestring

#include "controls/widestring/wide_menu_item.h"

#include <QAction>
#include <QActionEvent>
#include <QCoreApplication>
#include <QKeySequence>
#include <QMenu>
#include <QPointer>

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

// Follows the menus a wide item is added to after it was made wide, however it is added (a
// plain QMenu::addAction too): each such menu re-applies the item's caption before it shows.
class AddedToMenuWatcher : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::ActionAdded) {
      if (auto* menu = qobject_cast<QMenu*>(watched))
        if (TWideMenuItem* wide = WideMenuItem(static_cast<QActionEvent*>(event)->action())) wide->Watch(menu);
    }
    return false;
  }
};

// One watcher for the application, made with the first wide item (it goes with the application).
void WatchMenusItemsAreAddedTo() {
  static QPointer<AddedToMenuWatcher> watcher;
  QCoreApplication* app = QCoreApplication::instance();
  if (watcher || !app) return;
  watcher = new AddedToMenuWatcher(app);
  app->installEventFilter(watcher);
}

}  // namespace

TWideMenuItem::TWideMenuItem(QAction* item) : QObject(item), item_(item) {
  WatchMenusItemsAreAddedTo();
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
  DeriveToolTipAndIconText(caption);
  for (QObject* holder : item_->associatedObjects())
    if (auto* menu = qobject_cast<QMenu*>(holder)) Watch(menu);
}

void TWideMenuItem::DeriveToolTipAndIconText(const QString& caption) {
  // Qt derives both from the whole text, tab and shortcut included; they are derived the same way
  // from the caption alone. A tool tip or icon text the item was given of its own (other than
  // Qt's derivation from the whole text, or than the one given here before) it keeps.
  QAction plain, whole;
  plain.setText(caption);
  whole.setText(item_->text());
  const QString iconText = item_->iconText();
  if (iconText == whole.iconText() || iconText == derivedIconText_) {
    derivedIconText_ = plain.iconText();
    if (iconText != derivedIconText_) item_->setIconText(derivedIconText_);
  }
  const QString toolTip = item_->toolTip();
  if (toolTip == whole.toolTip() || toolTip == derivedToolTip_) {
    derivedToolTip_ = plain.toolTip();
    if (toolTip != derivedToolTip_) item_->setToolTip(derivedToolTip_);
  }
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

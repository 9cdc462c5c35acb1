#include "controls/widestring/wide_actions.h"

#include <QAction>
#include <QActionGroup>
#include <QSignalBlocker>
#include <QWidget>

#include "controls/widestring/wide_menu_item.h"
#include "controls/widestring/wide_menus.h"
#include "controls/widestring/wide_texts.h"

namespace widestring {

namespace {

std::u16string U16(const QString& text) { return text.toStdU16String(); }
QString Q(const std::u16string& text) { return QString::fromStdU16String(text); }

template <typename Action>
Action* Need(Action* action) {
  if (!action) throw EWideInternalError("Wide-string internal error: no action.");
  return action;
}

// Whether the tool tip of `action` holds `part`, the short part of its hint. An action without a
// tool tip of its own reads as its caption (stripped of hot keys and "..."): an empty part is held
// while the tool tip is what an action of the same texts and no tool tip reads as.
bool HoldsShortPart(const QAction* action, const QString& part) {
  if (!part.isEmpty()) return action->toolTip() == part;
  QAction bare;
  bare.setText(WideCaption(action));
  bare.setIconText(action->iconText());
  return action->toolTip() == bare.toolTip();
}

TWideMenuActionLink* LinkOf(const QAction* item) {
  return item ? item->findChild<TWideMenuActionLink*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

}  // namespace

QString WideCaption(const QAction* action) {
  const TWideMenuItem* item = WideMenuItem(Need(action));
  return item ? item->Caption() : action->text();
}

void SetWideCaption(QAction* action, const QString& caption) {
  if (TWideMenuItem* item = WideMenuItem(Need(action)))
    item->SetCaption(caption);
  else
    action->setText(caption);
}

TCustomActionHelper* ActionHelper(const QAction* action, bool create) {
  auto* helper = Need(action)->findChild<TCustomActionHelper*>(QString(), Qt::FindDirectChildrenOnly);
  if (!helper && create) helper = new TCustomActionHelper(const_cast<QAction*>(action));
  return helper;
}

QString WideHint(const QAction* action) {
  const TCustomActionHelper* helper = ActionHelper(action);
  if (helper && HoldsShortPart(action, Q(ShortHintPart(U16(helper->Hint)))) &&
      action->statusTip() == Q(LongHintPart(U16(helper->Hint))))
    return helper->Hint;
  return action->statusTip();
}

void SetWideHint(QAction* action, const QString& hint) {
  TCustomActionHelper* helper = ActionHelper(action, true);
  const QString tip = Q(ShortHintPart(U16(hint))), status = Q(LongHintPart(U16(hint)));
  if (helper->Hint == hint && HoldsShortPart(action, tip) && action->statusTip() == status) return;
  helper->Hint = hint;
  {
    // One change for the two parts, so that no one sees the hint half set.
    const QSignalBlocker block(action);
    action->setToolTip(tip);
    action->setStatusTip(status);
  }
  emit action->changed();
}

void Assign(QAction* action, const QAction* source) {
  SetWideCaption(action, WideCaption(source));
  SetWideHint(action, WideHint(source));
  action->setCheckable(source->isCheckable());
  action->setChecked(source->isChecked());
  action->setEnabled(source->isEnabled());
  action->setVisible(source->isVisible());
  action->setShortcuts(source->shortcuts());
  action->setIcon(source->icon());
}

void Assign(QAction* action, const QWidget* control) {
  SetWideCaption(action, WideControlText(control));
  SetWideHint(action, WideControlHint(control));
}

void TakeActionTexts(QAction* item, const QAction* action) {
  if (!SameCaptionText(U16(WideCaption(item)), U16(WideCaption(action)))) SetWideCaption(item, WideCaption(action));
  if (WideHint(item).isEmpty()) SetWideHint(item, WideHint(action));
}

TWideMenuActionLink::TWideMenuActionLink(QAction* item, QAction* action) : QObject(item), item_(item), action_(Need(action)) {
  TakeActionTexts(item, action);
  item->setCheckable(action->isCheckable());
  item->setChecked(action->isChecked());
  item->setEnabled(action->isEnabled());
  item->setVisible(action->isVisible());
  Remember();
  connect(action, &QAction::changed, this, &TWideMenuActionLink::Follow);
  // The link goes with its action (and, as the item's child, with its item): the item then is a
  // plain one again.
  connect(action, &QObject::destroyed, this, [this] { delete this; });
  connect(item, &QAction::triggered, this, &TWideMenuActionLink::Run);
}

void TWideMenuActionLink::Run(bool checked) {
  if (!action_) return;  // (the link goes with its action; this is only its last moment)
  // Links that lead back to the item: the action that is running already is not run again. The
  // item that closes such a loop keeps Qt's toggle: it is the one toggle of the click, and the
  // other items of the loop follow it.
  const TWideMenuActionLink* next = LinkOf(action_);
  if (next && next->running_) return;
  // Qt toggles a checkable item before it reports the click: that is undone, the item changes
  // with its action. An item in an exclusive group of its own is left as its group made it (the
  // group has moved its check already).
  const QActionGroup* group = item_->actionGroup();
  const bool grouped = group && group->exclusionPolicy() == QActionGroup::ExclusionPolicy::Exclusive;
  if (item_->isCheckable() && !grouped) item_->setChecked(!checked);
  if (running_ || !action_ || !action_->isEnabled()) return;
  const QPointer<TWideMenuActionLink> alive(this);
  running_ = true;
  action_->trigger();
  if (alive) running_ = false;
}

bool TWideMenuActionLink::IsCaptionLinked() const { return SameCaptionText(U16(WideCaption(item_)), U16(caption_)); }
bool TWideMenuActionLink::IsHintLinked() const { return WideHint(item_) == hint_ || WideHint(item_).isEmpty(); }
bool TWideMenuActionLink::IsCheckedLinked() const { return item_->isChecked() == checked_; }

void TWideMenuActionLink::Follow() {
  if (!action_) return;
  if (IsCaptionLinked() && !SameCaptionText(U16(WideCaption(item_)), U16(WideCaption(action_))))
    SetWideCaption(item_, WideCaption(action_));
  if (IsHintLinked()) SetWideHint(item_, WideHint(action_));
  if (IsCheckedLinked()) {
    item_->setCheckable(action_->isCheckable());
    item_->setChecked(action_->isChecked());
  }
  if (item_->isEnabled() == enabled_) item_->setEnabled(action_->isEnabled());
  if (item_->isVisible() == visible_) item_->setVisible(action_->isVisible());
  Remember();
}

void TWideMenuActionLink::Remember() {
  caption_ = WideCaption(action_);
  hint_ = WideHint(action_);
  checked_ = action_->isChecked();
  enabled_ = action_->isEnabled();
  visible_ = action_->isVisible();
}

void SetMenuItemAction(QAction* item, QAction* action) {
  delete LinkOf(Need(item));
  if (action && action != item) new TWideMenuActionLink(item, action);
}

TWideMenuActionLink* MenuItemActionLink(const QAction* item) { return LinkOf(Need(item)); }

QAction* MenuItemAction(const QAction* item) {
  const TWideMenuActionLink* link = MenuItemActionLink(item);
  return link ? link->Action() : nullptr;
}

}  // namespace widestring

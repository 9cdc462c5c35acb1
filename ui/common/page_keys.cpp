#include "ui/common/page_keys.h"

#include <QShortcut>
#include <QTabBar>

namespace ui {

void AddPageKeys(QWidget* view, QTabBar* tabs) {
  auto step = [tabs](int by) {
    const int n = tabs->count();
    if (n < 2) return;
    tabs->setCurrentIndex(((tabs->currentIndex() + by) % n + n) % n);
  };
  const QKeySequence next[] = {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)};
  const QKeySequence previous[] = {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                                   QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
                                   QKeySequence(Qt::CTRL | Qt::Key_PageUp)};
  for (const QKeySequence& keys : next) {
    auto* shortcut = new QShortcut(keys, view);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(shortcut, &QShortcut::activated, tabs, [step] { step(1); });
  }
  for (const QKeySequence& keys : previous) {
    auto* shortcut = new QShortcut(keys, view);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(shortcut, &QShortcut::activated, tabs, [step] { step(-1); });
  }
}

}  // namespace ui

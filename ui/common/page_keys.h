// The keys of a tab control for the pages of a document view: Ctrl+Tab and Ctrl+PgDn show the
// next page, Ctrl+Shift+Tab and Ctrl+PgUp the one before, going round at either end.
#pragma once

class QTabBar;
class QWidget;

namespace ui {

// Gives `view` (and every widget in it, the grid and its cell editor too) those keys for `tabs`.
void AddPageKeys(QWidget* view, QTabBar* tabs);

}  // namespace ui

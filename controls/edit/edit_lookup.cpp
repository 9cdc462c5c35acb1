// The typed edit's lookup popup and the saving and restoring of its text.
#include "controls/edit/edit_lookup.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QListWidget>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <vector>

#include "controls/edit/typed_edit.h"
#include "platform/ini_file.h"
#include "platform/settings_store.h"

namespace controls {

namespace {
constexpr int kRowHeight = 12;
}

TListHintWindow::TListHintWindow(TTypedEdit* edit)
    : QFrame(edit, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFrameStyle(QFrame::Box | QFrame::Plain);
  setLineWidth(1);
  list_ = new QListWidget(this);
  list_->setMinimumSize(0, 0);
  list_->setFrameStyle(QFrame::NoFrame);
  list_->setUniformItemSizes(true);
  list_->setFocusPolicy(Qt::NoFocus);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QFont font(QStringLiteral("Arial"));
  font.setPointSize(8);
  list_->setFont(font);
  connect(list_, &QListWidget::itemClicked, edit, [edit] { edit->SelectLookup(); });
  connect(list_, &QListWidget::itemActivated, edit, [edit] { edit->SelectLookup(); });
  resize(0, 0);
  hide();
}

void TListHintWindow::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  list_->setGeometry(contentsRect());
}

void TTypedEdit::UpdateLookup() {
  if (!lookup_->Enabled || !popup_) return;
  const QString text = Text();
  if (text.size() < lookup_->NumChars()) {
    popup_->hide();
    return;
  }
  QListWidget* list = popup_->ListControl();
  QPalette colours = list->palette();
  colours.setColor(QPalette::Base, lookup_->Color);
  list->setPalette(colours);
  int height = lookup_->DisplayCount * kRowHeight + 4;
  const QPoint at = mapToGlobal(QPoint(16, this->height() - 6));
  list->clear();
  const Qt::CaseSensitivity cs = lookup_->CaseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
  std::vector<int> matching;
  for (int i = 0; i < lookup_->DisplayList.size(); ++i)
    if (lookup_->DisplayList[i].startsWith(text, cs)) matching.push_back(i);
  const int matches = static_cast<int>(matching.size());
  // Alphabetical without regard to case ("Alan, Alba, ALBERT, alpha"); entries that differ only
  // in case keep their list order.
  std::vector<int> sorted = matching;
  std::stable_sort(sorted.begin(), sorted.end(), [&](int a, int b) {
    return QString::compare(lookup_->DisplayList[a], lookup_->DisplayList[b], Qt::CaseInsensitive) < 0;
  });
  QListWidgetItem* first = nullptr;
  for (int i : sorted) {
    auto* item = new QListWidgetItem(lookup_->DisplayList[i], list);
    item->setData(Qt::UserRole, i);
    item->setSizeHint(QSize(0, kRowHeight));
    if (i == matching.front()) first = item;
  }
  // The first match in list order is the selected one.
  if (first != nullptr) list->setCurrentItem(first);
  if (matches < lookup_->DisplayCount) height = matches * kRowHeight + 4;
  int width = 200;
  if (matches > 0) {
    const QFontMetrics fm(list->font());
    int widest = 50;
    for (int i = 0; i < list->count(); ++i) widest = std::max(widest, fm.horizontalAdvance(list->item(i)->text()));
    width = widest + 10;
    // More entries than rows: the scroll bar takes its width beside the entries, not from them.
    if (matches > lookup_->DisplayCount) width += list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
  }
  popup_->setGeometry(at.x(), at.y(), width, height);
  popup_->setVisible(matches > 0);
}

bool TTypedEdit::LookupKey(QKeyEvent* event) {
  if (!popup_ || !popup_->isVisible()) return false;
  QListWidget* list = popup_->ListControl();
  const int last = list->count() - 1;
  const int row = std::max(0, list->currentRow());
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      SelectLookup();
      event->accept();
      return true;
    case Qt::Key_Home:
      list->setCurrentRow(0);
      return true;
    case Qt::Key_End:
      list->setCurrentRow(last);
      return true;
    case Qt::Key_PageDown:
      list->setCurrentRow(std::min(row + lookup_->DisplayCount, last));
      return true;
    case Qt::Key_PageUp:
      list->setCurrentRow(std::max(row - lookup_->DisplayCount, 0));
      return true;
    case Qt::Key_Up:
      list->setCurrentRow(std::max(row - 1, 0));
      return false;
    case Qt::Key_Down:
      list->setCurrentRow(std::min(row + 1, last));
      return false;
    default:
      return false;
  }
}

void TTypedEdit::SelectLookup() {
  activateWindow();
  setFocus(Qt::OtherFocusReason);
  popup_->hide();
  QListWidgetItem* item = popup_->ListControl()->currentItem();
  if (!item) return;
  const int k = item->data(Qt::UserRole).toInt();
  QString value = k >= 0 && k < lookup_->ValueList.size() ? lookup_->ValueList[k] : item->text();
  if (OnLookupSelect) OnLookupSelect(*this, value);
  SetText(value);
  setSelection(ProperStart(), static_cast<int>(Text().size()));
}

void TTypedEdit::AfterPaste() { UpdateLookup(); }

void TTypedEdit::HideLookupOnFocusLoss() {
  if (popup_ && popup_->isVisible()) popup_->hide();
}

// --- Persistence -------------------------------------------------------------------------------

namespace {

QString DefaultIniPath() {
  const QFileInfo program(QCoreApplication::applicationFilePath());
  return program.path() + QLatin1Char('/') + program.completeBaseName() + QStringLiteral(".INI");
}

std::string StoreName(const TPersistence& p, const QString& name) {
  QString full;
  for (const QString& part : {p.Key, p.Section, name}) {
    if (part.isEmpty()) continue;
    if (!full.isEmpty()) full += QLatin1Char('\\');
    full += part;
  }
  return full.toStdString();
}

}  // namespace

void TTypedEdit::LoadPersistence() {
  if (!persistence_->Enable || objectName().isEmpty()) return;
  std::optional<std::string> stored;
  if (persistence_->Location == plRegistry) {
    stored = platform::SettingsStore::Default().readString(StoreName(*persistence_, objectName()));
  } else {
    if (persistence_->Key.isEmpty()) persistence_->Key = DefaultIniPath();
    stored = platform::IniFile(persistence_->Key.toStdString())
                 .readString(persistence_->Section.toStdString(), objectName().toStdString());
  }
  if (!stored || *stored == "@") return;
  // The saved window text loses its prefix and suffix and then passes the type check like any
  // other text, so a hand-edited file cannot put letters into a number field.
  QString text = QString::fromStdString(*stored);
  if (!prefix_.isEmpty() && text.startsWith(prefix_)) text.remove(0, prefix_.size());
  if (!suffix_.isEmpty() && text.endsWith(suffix_)) text.chop(suffix_.size());
  SetText(text);
}

void TTypedEdit::SavePersistence() {
  if (!persistence_->Enable || objectName().isEmpty()) return;
  const std::string value = (prefix_ + Text() + suffix_).toStdString();
  if (persistence_->Location == plRegistry) {
    platform::SettingsStore::Default().writeString(StoreName(*persistence_, objectName()), value);
    return;
  }
  if (persistence_->Key.isEmpty()) persistence_->Key = DefaultIniPath();
  platform::IniFile(persistence_->Key.toStdString())
      .writeString(persistence_->Section.toStdString(), objectName().toStdString(), value);
}

}  // namespace controls

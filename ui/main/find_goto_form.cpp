#include "ui/main/find_goto_form.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include "core/common.h"
#include "platform/gui/gui_services.h"
#include "ui/common/qt_text.h"
#include "ui/main/param_form.h"

namespace ui {

using platform::gui::Buttons;
using platform::gui::Gui;
using platform::gui::Icon;
using platform::gui::IdOk;

namespace {
// Upper case for the letters a to z only, as the search compares.
QString UpperAscii(const QString& text) {
  QString out = text;
  for (QChar& c : out)
    if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - 'a' + 'A');
  return out;
}

constexpr int kWidth = 360;
constexpr int kHeight = 336;
constexpr int kButtonTop = 244;  // the buttons of both pages, in the page
}  // namespace

int FindLine(const QString& text, int from, int group, bool down) {
  const QString wanted = UpperAscii(text);
  if (wanted.isEmpty()) return -1;
  const auto& doc = core::State().Document;
  const int n = static_cast<int>(doc.size());
  const int step = down ? 1 : -1;
  for (int i = from + step; i >= 0 && i < n; i += step) {
    const auto& line = doc[static_cast<std::size_t>(i)];
    if (line.displayGroup == group && UpperAscii(Description(line)).contains(wanted)) return i;
  }
  return -1;
}

TFindGotoForm::TFindGotoForm(TParamForm* owner) : QDialog(owner), owner_(owner) {
  setObjectName("FindGotoForm");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(kWidth, kHeight);
  PageControl = new QTabWidget(this);
  PageControl->setObjectName("PageControl");
  PageControl->setGeometry(8, 8, kWidth - 16, kHeight - 16);

  FindSheet = new QWidget;
  FindSheet->setObjectName("FindSheet");
  Label1 = new QLabel(FindSheet);
  Label1->setGeometry(12, 12, 300, 18);
  editFind = new QLineEdit(FindSheet);
  editFind->setObjectName("editFind");
  editFind->setGeometry(12, 34, 312, 24);
  GroupBox1 = new QGroupBox(FindSheet);
  GroupBox1->setGeometry(12, 70, 160, 72);
  RadioUp = new QRadioButton(GroupBox1);
  RadioUp->setObjectName("RadioUp");
  RadioUp->setGeometry(12, 22, 140, 20);
  RadioDown = new QRadioButton(GroupBox1);
  RadioDown->setObjectName("RadioDown");
  RadioDown->setGeometry(12, 44, 140, 20);
  FindButton = new QPushButton(FindSheet);
  FindButton->setObjectName("FindButton");
  CancelButton = new QPushButton(FindSheet);
  CancelButton->setObjectName("CancelButton");

  GotoSheet = new QWidget;
  GotoSheet->setObjectName("GotoSheet");
  Label2 = new QLabel(GotoSheet);
  Label2->setGeometry(12, 12, 300, 18);
  comboCode = new QComboBox(GotoSheet);
  comboCode->setObjectName("comboCode");
  comboCode->setGeometry(12, 34, 312, 24);
  GroupBox2 = new QGroupBox(GotoSheet);
  GroupBox2->setGeometry(12, 64, 312, 172);
  for (int k = 0; k < 9; ++k) {
    RadioGroup[k] = new QRadioButton(GroupBox2);
    RadioGroup[k]->setObjectName(QString("RadioGroup%1").arg(k + 1));
    RadioGroup[k]->setGeometry(12, 20 + 16 * k, 290, 16);
    RadioGroup[k]->hide();
    connect(RadioGroup[k], &QRadioButton::clicked, this, [this, k] { RadioGroupClick(k + 1); });
  }
  GotoButton = new QPushButton(GotoSheet);
  GotoButton->setObjectName("GotoButton");
  CloseButton = new QPushButton(GotoSheet);
  CloseButton->setObjectName("CloseButton");
  for (QPushButton* b : {FindButton, GotoButton}) b->setGeometry(150, kButtonTop, 84, 28);
  for (QPushButton* b : {CancelButton, CloseButton}) b->setGeometry(240, kButtonTop, 84, 28);
  PageControl->addTab(FindSheet, QString());
  PageControl->addTab(GotoSheet, QString());

  connect(FindButton, &QPushButton::clicked, this, &TFindGotoForm::FindButtonClick);
  connect(GotoButton, &QPushButton::clicked, this, &TFindGotoForm::GotoButtonClick);
  connect(CancelButton, &QPushButton::clicked, this, [this] { done(IdOk); });
  connect(CloseButton, &QPushButton::clicked, this, [this] { done(IdOk); });
  FormCreate();
}

void TFindGotoForm::FormCreate() {
  const auto& s = core::State();
  const auto& doc = s.Document;
  DocumentModel = doc.empty() ? 0 : doc.front().model;
  FindIndex = owner_ ? owner_->SelectedIndex : -1;
  FindGroup = owner_ ? owner_->CurrentGroup : 0;
  editFind->clear();
  // Searching goes down from the line shown unless the user picks Up.
  RadioDown->setChecked(true);

  // One button per display group with lines: the groups Go to lists and sends to the view,
  // named as the view's tabs name them.
  const std::array<bool, 9> used = core::DisplayGroupsUsed(doc);
  int highest = 0, lowest = 0;
  for (int k = 1; k <= 9; ++k) {
    const bool present = used[static_cast<std::size_t>(k - 1)];
    QString name = PageCaption(DocumentModel, k).trimmed();
    if (name.isEmpty()) name = QString::number(k);
    RadioGroup[k - 1]->setText(MenuText(name));
    RadioGroup[k - 1]->setVisible(present);
    if (present) {
      highest = k;
      if (lowest == 0) lowest = k;
    }
  }
  const int h = std::min(16 * (9 - highest), 96);
  GroupBox2->resize(GroupBox2->width(), GroupBox2->height() - h);
  PageControl->resize(PageControl->width(), PageControl->height() - h);
  setFixedSize(width(), height() - h);
  for (QPushButton* b : {FindButton, CancelButton, GotoButton, CloseButton}) b->move(b->x(), b->y() - h);

  GotoGroup = lowest == 0 ? 1 : lowest;
  RadioGroup[GotoGroup - 1]->setChecked(true);
  UpdateList();

  setWindowTitle(L(159));
  PageControl->setTabText(0, MenuText(L(160)));
  PageControl->setTabText(1, MenuText(L(161)));
  GroupBox1->setTitle(MenuText(L(162)));
  RadioUp->setText(MenuText(L(163)));
  RadioDown->setText(MenuText(L(164)));
  Label1->setText(L(165));
  FindButton->setText(MenuText(L(166)));
  CancelButton->setText(MenuText(L(121)));
  GroupBox2->setTitle(MenuText(L(167)));
  Label2->setText(L(168));
  GotoButton->setText(MenuText(L(161)));
  CloseButton->setText(MenuText(L(155)));
}

// The dialog opens ready for typing: the focus in the text of the page shown, whose button
// Enter presses.
void TFindGotoForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  const bool find = PageControl->currentIndex() == 0;
  (find ? FindButton : GotoButton)->setDefault(true);
  if (find)
    editFind->setFocus();
  else
    comboCode->setFocus();
}

void TFindGotoForm::UpdateList() {
  comboCode->clear();
  GotoIndexes.clear();
  const auto& doc = core::State().Document;
  for (std::size_t i = 0; i < doc.size(); ++i) {
    if (doc[i].displayGroup != GotoGroup) continue;
    GotoIndexes.push_back(static_cast<std::int32_t>(i));
    comboCode->addItem(Qs(doc[i].code.view()));
  }
}

void TFindGotoForm::RadioGroupClick(int k) {
  if (k < 1 || k > 9) return;
  GotoGroup = k;
  UpdateList();
}

void TFindGotoForm::PostGotoRow(int index, int group) {
  if (owner_)
    QMetaObject::invokeMethod(owner_, "GotoRow", Qt::QueuedConnection, Q_ARG(int, index), Q_ARG(int, group));
}

void TFindGotoForm::FindButtonClick() {
  const int hit = FindLine(editFind->text(), FindIndex, FindGroup, RadioDown->isChecked());
  if (hit < 0) {
    Gui().MessageBox(L(103) + "\n'" + editFind->text() + "' " + L(104), L(102), Buttons::Ok, Icon::Information);
    return;
  }
  FindIndex = hit;
  PostGotoRow(hit, FindGroup);
}

void TFindGotoForm::GotoButtonClick() {
  const int k = comboCode->currentIndex();
  if (k < 0 || k >= static_cast<int>(GotoIndexes.size())) return;
  const int i = GotoIndexes[static_cast<std::size_t>(k)];
  if (i < 0 || i >= static_cast<int>(core::State().Document.size())) return;
  PostGotoRow(i, GotoGroup);
}

}  // namespace ui

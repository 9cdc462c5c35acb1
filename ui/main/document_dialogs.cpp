#include "ui/main/document_dialogs.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFile>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>

#include "core/common.h"
#include "platform/gui/gui_services.h"
#include "ui/common/extra_texts.h"
#include "ui/common/file_dialogs.h"
#include "ui/common/qt_text.h"

namespace ui {

using platform::gui::Gui;
using platform::gui::IdCancel;
using platform::gui::IdOk;

TDocumentDialog::TDocumentDialog(QWidget* owner) : QDialog(owner) {
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
}

void TDocumentDialog::reject() { done(IdCancel); }

void TDocumentDialog::AddButtons(QBoxLayout* layout, bool withCancel) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  OK = new QPushButton(MenuText(L(120)), this);
  OK->setObjectName("OK");
  OK->setDefault(true);
  row->addWidget(OK);
  if (withCancel) {
    Cancel = new QPushButton(MenuText(L(121)), this);
    Cancel->setObjectName("Cancel");
    row->addWidget(Cancel);
    connect(Cancel, &QPushButton::clicked, this, [this] { done(IdCancel); });
  }
  layout->addLayout(row);
}

void FillModelList(QComboBox* combo) {
  const auto& s = core::State();
  for (int k = 0; k < s.ModelCount && k < static_cast<int>(s.Models.size()); ++k)
    combo->addItem(Qs(s.Models[k].name.str()));
  if (combo->count() > 0) combo->setCurrentIndex(0);
}

namespace {
bool ValidModelIndex(const QComboBox* combo) {
  const int k = combo->currentIndex();
  return k >= 0 && k < core::State().ModelCount;
}
}  // namespace

// ---- model choice

TNewModelForm::TNewModelForm(QWidget* owner) : TDocumentDialog(owner) {
  setObjectName("NewModelForm");
  setWindowTitle(L(122));
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  Label9 = new QLabel(L(37), this);
  comboModel = new QComboBox(this);
  comboModel->setObjectName("comboModel");
  comboModel->setMinimumWidth(260);
  top->addWidget(Label9);
  top->addWidget(comboModel, 1);
  layout->addLayout(top);
  QFont bold = font();
  bold.setBold(true);
  for (int i = 0; i < 8; ++i) {
    infoLabels[i] = new QLabel(this);
    infoLabels[i]->setObjectName(QString("Label%1").arg(i + 1));
    infoLabels[i]->setFont(bold);
    layout->addWidget(infoLabels[i]);
  }
  AddButtons(layout);
  connect(OK, &QPushButton::clicked, this, &TNewModelForm::OKClick);
  FillModelList(comboModel);
  connect(comboModel, &QComboBox::currentIndexChanged, this, &TNewModelForm::comboModelChange);
  if (comboModel->count() > 0) comboModelChange();
}

void TNewModelForm::comboModelChange() {
  const auto& s = core::State();
  const int k = comboModel->currentIndex();
  if (k < 0 || k >= s.ModelCount) return;
  const int lang = s.LanguageIndex;
  for (int i = 0; i < 8; ++i) {
    const auto& texts = s.Models[k].info[i];
    infoLabels[i]->setText(lang >= 1 && lang <= 4 ? Qs(texts[lang - 1]) : QString());
  }
}

void TNewModelForm::OKClick() {
  if (ValidModelIndex(comboModel)) done(IdOk);
}

// ---- drive against defaults

TCompareDefForm::TCompareDefForm(QWidget* owner) : TDocumentDialog(owner) {
  setObjectName("CompareDefForm");
  setWindowTitle(L(135));
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  Label2 = new QLabel(L(37), this);
  comboModel = new QComboBox(this);
  comboModel->setObjectName("comboModel");
  comboModel->setMinimumWidth(260);
  top->addWidget(Label2);
  top->addWidget(comboModel, 1);
  layout->addLayout(top);
  AddButtons(layout);
  connect(OK, &QPushButton::clicked, this, &TCompareDefForm::OKClick);
  FillModelList(comboModel);
}

void TCompareDefForm::OKClick() {
  if (ValidModelIndex(comboModel)) done(IdOk);
}

// ---- file pickers

void TFilePickDialog::PickFile(QLineEdit* target) {
  platform::gui::FileDialogSpec spec;
  spec.filter = extra::ParameterFilesFilter();
  spec.defaultSuffix = "par";
  QString path;
  if (RunFileDialog(spec, path)) target->setText(path);
}

namespace {
QLineEdit* AddFileRow(QWidget* parent, QGridLayout* grid, int row, const QString& name, QPushButton*& button) {
  button = new QPushButton(extra::FileButton(row + 1), parent);
  button->setObjectName(QString("Button%1").arg(row + 1));
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setMinimumWidth(360);
  grid->addWidget(button, row, 0);
  grid->addWidget(edit, row, 1);
  return edit;
}
}  // namespace

TCompareFileForm::TCompareFileForm(QWidget* owner) : TFilePickDialog(owner) {
  setObjectName("CompareFileForm");
  setWindowTitle(L(137));
  auto* layout = new QVBoxLayout(this);
  GroupBox1 = new QGroupBox(MenuText(L(138)), this);
  auto* grid = new QGridLayout(GroupBox1);
  file1 = AddFileRow(GroupBox1, grid, 0, "file1", Button1);
  file2 = AddFileRow(GroupBox1, grid, 1, "file2", Button2);
  layout->addWidget(GroupBox1);
  AddButtons(layout);
  connect(Button1, &QPushButton::clicked, this, &TCompareFileForm::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TCompareFileForm::Button2Click);
  connect(OK, &QPushButton::clicked, this, &TCompareFileForm::OKClick);
}

void TCompareFileForm::Button1Click() { PickFile(file1); }
void TCompareFileForm::Button2Click() { PickFile(file2); }

void TCompareFileForm::OKClick() {
  if (!file1->text().isEmpty() && !file2->text().isEmpty()) done(IdOk);
}

TCompareFilesForm::TCompareFilesForm(QWidget* owner) : TFilePickDialog(owner) {
  setObjectName("CompareFilesForm");
  setWindowTitle(L(139));
  auto* layout = new QVBoxLayout(this);
  GroupBox1 = new QGroupBox(MenuText(L(138)), this);
  auto* grid = new QGridLayout(GroupBox1);
  file1 = AddFileRow(GroupBox1, grid, 0, "file1", Button1);
  file2 = AddFileRow(GroupBox1, grid, 1, "file2", Button2);
  file3 = AddFileRow(GroupBox1, grid, 2, "file3", Button3);
  layout->addWidget(GroupBox1);
  GroupBox2 = new QGroupBox(MenuText(L(140)), this);
  auto* row = new QHBoxLayout(GroupBox2);
  Label9 = new QLabel(L(37), GroupBox2);
  comboModel = new QComboBox(GroupBox2);
  comboModel->setObjectName("comboModel");
  row->addWidget(Label9);
  row->addWidget(comboModel, 1);
  layout->addWidget(GroupBox2);
  AddButtons(layout);
  connect(Button1, &QPushButton::clicked, this, &TCompareFilesForm::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TCompareFilesForm::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TCompareFilesForm::Button3Click);
  connect(OK, &QPushButton::clicked, this, &TCompareFilesForm::OKClick);
  FillModelList(comboModel);
}

void TCompareFilesForm::Button1Click() { PickFile(file1); }
void TCompareFilesForm::Button2Click() { PickFile(file2); }
void TCompareFilesForm::Button3Click() { PickFile(file3); }

void TCompareFilesForm::OKClick() {
  if (!file1->text().isEmpty() && ValidModelIndex(comboModel)) done(IdOk);
}

// ---- station titles

TStationForm::TStationForm(QWidget* owner) : TDocumentDialog(owner) {
  setObjectName("StationForm");
  setWindowTitle(L(156));
  auto* layout = new QVBoxLayout(this);
  stationGrid = new QTableWidget(core::kStationCount, 2, this);
  stationGrid->setObjectName("stationGrid");
  stationGrid->setHorizontalHeaderLabels({L(158), L(81)});
  stationGrid->verticalHeader()->hide();
  stationGrid->verticalHeader()->setDefaultSectionSize(20);
  stationGrid->setColumnWidth(0, 80);
  stationGrid->setColumnWidth(1, 361);
  stationGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  stationGrid->setMinimumSize(80 + 361 + 24, 320);
  const QColor face = palette().color(QPalette::Button);
  for (int n = 1; n <= core::kStationCount; ++n) {
    auto* number = new QTableWidgetItem(QString::number(n));
    number->setFlags(Qt::ItemIsEnabled);
    number->setTextAlignment(Qt::AlignCenter);
    number->setBackground(face);
    stationGrid->setItem(n - 1, 0, number);
    stationGrid->setItem(n - 1, 1, new QTableWidgetItem);
  }
  layout->addWidget(stationGrid);
  Clear = new QPushButton(MenuText(L(157)), this);
  Clear->setObjectName("Clear");
  connect(Clear, &QPushButton::clicked, this, &TStationForm::ClearClick);
  layout->addWidget(Clear, 0, Qt::AlignLeft);
  AddButtons(layout);
  connect(OK, &QPushButton::clicked, this, [this] { done(IdOk); });
}

QString TStationForm::Title(int station) const {
  const QTableWidgetItem* item = stationGrid->item(station - 1, 1);
  return item ? item->text() : QString();
}

void TStationForm::SetTitle(int station, const QString& title) {
  if (QTableWidgetItem* item = stationGrid->item(station - 1, 1)) item->setText(title);
}

void TStationForm::ClearClick() {
  for (int n = 1; n <= core::kStationCount; ++n) SetTitle(n, QString());
}

// ---- print title and set

namespace {
// The layout of the dialog with every group check box showing; the lines of the title group
// and the width of its captions grow to their texts (measured in every language).
constexpr int kLineStep = 26;
constexpr int kRemarkStep = 24;
constexpr int kEditHeight = 22;
constexpr int kCaptionWidth = 110;
constexpr int kEditWidth = 330;
constexpr int kPrintSetHeight = 210;

// The widest of the texts of `ids` in any language, in `metrics`.
int WidestText(const QFontMetrics& metrics, std::initializer_list<int> ids) {
  int widest = 0;
  for (int id : ids)
    for (int lang = 1; lang <= 4; ++lang) widest = std::max(widest, metrics.horizontalAdvance(ShownText(MenuText(LIn(id, lang)))));
  return widest;
}
}  // namespace

TPrintTitleForm::TPrintTitleForm(QWidget* owner) : TDocumentDialog(owner) {
  setObjectName("PrintTitleForm");
  setWindowTitle(L(8));
  GroupBox1 = new QGroupBox(MenuText(L(123)), this);
  const QFontMetrics metrics = fontMetrics();
  const int captionWidth = std::max(kCaptionWidth, WidestText(metrics, {124, 125, 126, 127, 128, 129, 130}) + 4);
  const int editLeft = 10 + captionWidth + 4;
  const int innerWidth = editLeft + kEditWidth + 10;
  static const char* const editNames[8] = {"editTitle",      "editVer",     "editCompany", "editDate",
                                           "editProgrammer", "editRemark1", "editRemark2", "editRemark3"};
  static const int labelIds[7] = {124, 125, 126, 127, 128, 129, 130};
  for (int i = 0; i < 7; ++i) {
    auto* label = new QLabel(L(labelIds[i]), GroupBox1);
    label->setObjectName(QString("Label%1").arg(i + 1));
    label->setGeometry(10, 22 + i * kLineStep, captionWidth, kEditHeight);
  }
  int y = 22;
  for (int i = 0; i < 8; ++i) {
    if (i == 5) {  // the page line sits between the programmer and the remarks
      editPage = new QLineEdit("      /", GroupBox1);
      editPage->setObjectName("editPage");
      editPage->setEnabled(false);
      QPalette p = editPage->palette();
      p.setColor(QPalette::Base, p.color(QPalette::Button));
      editPage->setPalette(p);
      editPage->setGeometry(editLeft, y, 100, kEditHeight);
      y += kLineStep;
    }
    titleEdits[i] = new QLineEdit(GroupBox1);
    titleEdits[i]->setObjectName(editNames[i]);
    titleEdits[i]->setGeometry(editLeft, y, kEditWidth, kEditHeight);
    y += i >= 5 ? kRemarkStep : kLineStep;
  }
  // y is now below the third remark line plus one step: the group ends 8 pixels under it.
  const int titleHeight = y - kRemarkStep + kEditHeight + 10;
  GroupBox1->setGeometry(8, 8, innerWidth, titleHeight);
  const int printSetTop = 8 + titleHeight + 6;

  GroupBox2 = new QGroupBox(MenuText(L(131)), this);
  checkPrint = new QCheckBox(MenuText(L(132)), GroupBox2);
  checkPrint->setObjectName("checkPrint");
  checkPrint->setGeometry(10, 22, std::max(300, checkPrint->sizeHint().width()), 18);
  auto* label8 = new QLabel(L(133), GroupBox2);
  label8->setObjectName("Label8");
  label8->setGeometry(10, 44, std::max(300, label8->sizeHint().width()), 18);

  // Which groups the open document uses, and the model whose group names caption them.
  const auto& s = core::State();
  std::array<bool, 9> used{};
  int model = 0;
  if (s.ParHeader.recordCount > 0 && !s.ParHeader.modelName.empty()) {
    model = static_cast<int>(s.ParHeader.model);
    for (const auto& line : s.Document)
      if (line.transferGroup >= 1 && line.transferGroup <= 9) used[line.transferGroup - 1] = true;
  } else {
    model = static_cast<int>(s.CmpHeader.model);
    for (const auto& record : s.CompareRecords)
      if (record.transferGroup >= 1 && record.transferGroup <= 9) used[record.transferGroup - 1] = true;
  }
  const bool knownModel = model >= 1 && model <= s.ModelCount && model <= static_cast<int>(s.Models.size());
  const int lang = s.LanguageIndex;
  int highest = 0;
  int widest = innerWidth;
  for (int k = 1; k <= 9; ++k) {
    QString caption;
    if (knownModel && lang >= 1 && lang <= 4) {
      const auto& m = s.Models[model - 1];
      caption = Qs(m.groupNames[k - 1][lang - 1]) + " (" + Qs(m.groupIds[k - 1]) + ")";
    }
    checkGroup[k - 1] = new QCheckBox(MenuText(caption), GroupBox2);
    checkGroup[k - 1]->setObjectName(QString("checkGroup%1").arg(k));
    const int width = std::max(400, checkGroup[k - 1]->sizeHint().width());
    checkGroup[k - 1]->setGeometry(24, 66 + (k - 1) * 16, width, 16);
    checkGroup[k - 1]->setVisible(used[k - 1]);
    widest = std::max(widest, 24 + width + 10);
  }
  for (int k = 1; k <= 9; ++k)
    if (used[k - 1]) highest = k;
  widest = std::max({widest, 10 + checkPrint->width() + 10, 10 + label8->width() + 10});
  GroupBox1->resize(widest, titleHeight);
  shrunkBy_ = std::min(16 * (9 - highest), 96);
  GroupBox2->setGeometry(8, printSetTop, widest, kPrintSetHeight - shrunkBy_);
  const int buttonsTop = printSetTop + kPrintSetHeight - shrunkBy_ + 10;
  Clear = new QPushButton(MenuText(L(134)), this);
  Clear->setObjectName("Clear");
  Clear->setGeometry(8, buttonsTop, std::max(150, Clear->sizeHint().width()), 28);
  OK = new QPushButton(MenuText(L(120)), this);
  OK->setObjectName("OK");
  OK->setDefault(true);
  Cancel = new QPushButton(MenuText(L(121)), this);
  Cancel->setObjectName("Cancel");
  const int formWidth = 8 + widest + 8;
  const int cancelWidth = std::max(80, Cancel->sizeHint().width());
  const int okWidth = std::max(80, OK->sizeHint().width());
  Cancel->setGeometry(formWidth - 10 - cancelWidth, buttonsTop, cancelWidth, 28);
  OK->setGeometry(Cancel->x() - 10 - okWidth, buttonsTop, okWidth, 28);
  connect(Clear, &QPushButton::clicked, this, &TPrintTitleForm::ClearClick);
  connect(OK, &QPushButton::clicked, this, [this] { done(IdOk); });
  connect(Cancel, &QPushButton::clicked, this, [this] { done(IdCancel); });
  setFixedSize(formWidth, buttonsTop + 28 + 22);
  ClearClick();
}

void TPrintTitleForm::ClearClick() {
  for (QLineEdit* edit : titleEdits) edit->clear();
}

// ---- about box

TAboutForm::TAboutForm(QWidget* owner) : TDocumentDialog(owner) {
  setObjectName("AboutForm");
  setWindowTitle(L(32));
  auto* layout = new QVBoxLayout(this);
  ImageLogo = new QLabel(this);
  ImageLogo->setObjectName("ImageLogo");
  ImageLogo->setAlignment(Qt::AlignCenter);
  QPixmap logo;
  if (QFile::exists("Parameter.dat") && logo.load("Parameter.dat")) {
    ImageLogo->setPixmap(logo.scaled(300, 120, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    logoLoaded_ = true;
  } else {
    ImageLogo->setText("<b><font size=6 color=#1f4e9c>Quorvane</font></b>");
  }
  layout->addWidget(ImageLogo);
  const auto& s = core::State();
  LabelInfo = new QLabel(Qs(s.AppInfo), this);
  LabelInfo->setObjectName("LabelInfo");
  LabelCopyright = new QLabel(Qs(s.AppNotice), this);
  LabelCopyright->setObjectName("LabelCopyright");
  LabelURL = new QLabel(Qs(s.AppURL), this);
  LabelURL->setObjectName("LabelURL");
  QFont underlined = LabelURL->font();
  underlined.setUnderline(true);
  LabelURL->setFont(underlined);
  QPalette blue = LabelURL->palette();
  blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
  LabelURL->setPalette(blue);
  LabelURL->setCursor(Qt::PointingHandCursor);
  LabelURL->installEventFilter(this);
  for (QLabel* label : {LabelInfo, LabelCopyright, LabelURL}) {
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
  }
  AddButtons(layout, false);
  connect(OK, &QPushButton::clicked, this, [this] { done(IdOk); });
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == LabelURL && event->type() == QEvent::MouseButtonRelease) {
    LabelURLClick();
    return true;
  }
  return TDocumentDialog::eventFilter(watched, event);
}

void TAboutForm::LabelURLClick() { Gui().OpenLink(LabelURL->text()); }

}  // namespace ui

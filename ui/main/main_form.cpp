#include "ui/main/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

#include "core/config.h"
#include "core/serial_link.h"
#include "core/settings.h"
#include "controls/widestring/wide_application.h"
#include "controls/widestring/wide_menus.h"
#include "core/texts.h"
#include "platform/atomic_file.h"
#include "platform/gui/gui_services.h"
#include "ui/common/extra_texts.h"
#include "ui/common/port_failure.h"
#include "ui/common/qt_text.h"
#include "ui/main/application_errors.h"
#include "ui/main/document_dialogs.h"

namespace ui {

using platform::gui::Buttons;
using platform::gui::Gui;
using platform::gui::Icon;

namespace {

// The position of the keyboard letter of a caption (the character after a single "&"), or -1.
qsizetype MnemonicAt(const QString& caption) {
  for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] != '&') return i + 1;
    ++i;
  }
  return -1;
}


enum : unsigned { kHidden = 1, kDisabled = 2, kChecked = 4, kCheckable = 8, kSeparator = 16, kSubmenu = 32 };

struct MenuEntry {
  const char* name;
  const char* parent;  // "" for the menu bar
  int captionId;
  int hintId;  // 0: no hint
  const char* shortcut;
  unsigned flags;
};

// The menu tree in order; captions and hints are message ids set by ApplyLanguage.
const MenuEntry kMenu[] = {
    {"File1", "", 1, 0, "", kSubmenu},
    {"FileNew", "File1", 2, 41, "Ctrl+N", 0},
    {"FileOpen", "File1", 3, 42, "Ctrl+O", 0},
    {"FileClose", "File1", 4, 43, "", kHidden | kSeparator},
    {"FileCompare", "File1", 5, 0, "", kSubmenu | kSeparator},
    {"CompareInverter", "FileCompare", 13, 44, "", kDisabled},
    {"CompareFile", "FileCompare", 14, 45, "", 0},
    {"CompareFiles", "FileCompare", 15, 46, "", 0},
    {"FileSave", "File1", 6, 47, "Ctrl+S", kHidden},
    {"FileSaveAs", "File1", 7, 48, "", kHidden},
    {"FileExport", "File1", 223, 0, "", kHidden | kSeparator},
    {"FilePrintTitle", "File1", 8, 49, "", kHidden},
    {"FilePrintPreview", "File1", 9, 50, "", kHidden},
    {"FilePrint", "File1", 10, 51, "Ctrl+P", kHidden | kSeparator},
    {"FileRecent", "File1", 11, 0, "", kDisabled},
    {"FileRecent1", "File1", 0, 52, "", kHidden},
    {"FileRecent2", "File1", 0, 52, "", kHidden},
    {"FileRecent3", "File1", 0, 52, "", kHidden},
    {"FileRecent4", "File1", 0, 52, "", kHidden | kSeparator},
    {"FileExit", "File1", 12, 53, "", 0},
    {"Edit1", "", 16, 0, "", kSubmenu | kHidden},
    {"EditStation", "Edit1", 17, 54, "", kHidden},
    {"EditFind", "Edit1", 18, 55, "Ctrl+F", kDisabled},
    {"EditGoto", "Edit1", 19, 56, "Ctrl+G", kDisabled | kSeparator},
    {"EditDefinite", "Edit1", 20, 57, "", 0},
    {"Operation1", "", 21, 0, "", kSubmenu},
    {"OperationLink", "Operation1", 22, 58, "", kSeparator},
    {"OperationRead", "Operation1", 23, 59, "Ctrl+R", kDisabled},
    {"OperationWrite", "Operation1", 24, 60, "Ctrl+W", kDisabled | kHidden},
    {"OperationMotor", "Operation1", 40, 67, "Ctrl+M", kHidden | kSeparator},
    {"OperationMonitor", "Operation1", 25, 61, "", kDisabled},
    {"OperationProfile", "Operation1", 40, 67, "", kDisabled | kSeparator},
    {"OperationOnline", "Operation1", 26, 62, "", kCheckable | kChecked | kDisabled},
    {"View1", "", 27, 0, "", kSubmenu},
    {"ViewToolbar", "View1", 28, 63, "", kCheckable | kChecked},
    {"ViewStatusbar", "View1", 29, 64, "", kCheckable | kChecked},
    {"ViewLingua", "View1", 111, 115, "", 0},
    {"Help1", "", 30, 0, "", kSubmenu},
    {"HelpContents", "Help1", 31, 65, "F1", 0},
    {"HelpAbout", "Help1", 32, 66, "", 0},
};

struct ButtonEntry {
  const char* name;
  QStyle::StandardPixmap image;
  int hintId;  // 0: the design hint
  const char* runs;  // menu item, or "" for the button's own command
  unsigned flags;
  bool dividerBefore;
};

const ButtonEntry kButtons[] = {
    {"NewButton", QStyle::SP_FileIcon, 2, "FileNew", 0, true},
    {"OpenButton", QStyle::SP_DialogOpenButton, 3, "FileOpen", 0, false},
    {"SaveButton", QStyle::SP_DialogSaveButton, 6, "FileSave", kDisabled, false},
    {"PrintButton", QStyle::SP_FileDialogContentsView, 10, "FilePrint", kDisabled, true},
    {"Print2Button", QStyle::SP_FileDialogListView, 10, "", kDisabled, false},
    {"PrintPreviewButton", QStyle::SP_FileDialogInfoView, 9, "FilePrintPreview", kDisabled, false},
    {"LinkButton", QStyle::SP_DriveNetIcon, 22, "OperationLink", 0, true},
    {"MonitorButton", QStyle::SP_ComputerIcon, 25, "OperationMonitor", kDisabled, false},
    {"ProfileButton", QStyle::SP_MediaPlay, 40, "OperationProfile", kDisabled, false},
    {"ReadButton", QStyle::SP_ArrowDown, 23, "OperationRead", kDisabled, false},
    {"WriteButton", QStyle::SP_ArrowUp, 24, "OperationWrite", kDisabled, false},
    {"PasswordButton", QStyle::SP_DialogApplyButton, 69, "", kDisabled, false},
    {"MotorButton", QStyle::SP_MediaSeekForward, 0, "OperationMotor", kDisabled | kHidden, false},
    {"ContentsButton", QStyle::SP_DialogHelpButton, 30, "HelpContents", 0, true},
};

// The window's own pictures: the logo of the empty window and the picture at the right end of
// the tool bar.
QPixmap DrawLogo(int width, int height, int pixelSize) {
  QPixmap pixmap(width, height);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QFont f("Sans");
  f.setPixelSize(pixelSize);
  f.setBold(true);
  f.setItalic(true);
  p.setFont(f);
  p.setPen(QColor(31, 78, 156));
  p.drawText(pixmap.rect(), Qt::AlignCenter, extra::LogoName());
  return pixmap;
}

}  // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
  // Counted: the program has started the support already; a window of a test starts it here.
  widestring::StartWideStringSupport();
  setObjectName("MainForm");
  setWindowTitle(extra::DefaultTitle());
  resize(792, 546);
  QFont f("MS Sans Serif");
  f.setPixelSize(11);
  setFont(f);
  BuildMenus();
  BuildToolBar();
  BuildStatusBar();
  BuildPanel();
  FormCreate();
  SetPortFailureHandler([this](const QString& detail) { PortGone(detail); });
  platform::SetFileStepWords(extra::FileStepWords);
}

TMainForm::~TMainForm() {
  SetPortFailureHandler(nullptr);
  platform::SetFileStepWords(nullptr);
  auto& s = core::State();
  s.LogMemo = nullptr;
  s.ProcessMessages = nullptr;
  core::SetSettingsReporter(nullptr);
  widestring::StopWideStringSupport();
}

void TMainForm::BuildMenus() {
  for (const MenuEntry& e : kMenu) {
    const QString name = e.name;
    ItemState state;
    state.captionId = e.captionId;
    state.hintId = e.hintId;
    if (e.flags & kSubmenu) {
      QMenu* menu = *e.parent ? menus_[e.parent]->addMenu(QString()) : menuBar()->addMenu(QString());
      menu->setObjectName(name + "Menu");
      menus_[name] = menu;
      state.action = menu->menuAction();
      connect(menu, &QMenu::hovered, this, &TMainForm::MenuSelect);
      if (!*e.parent) connect(menu, &QMenu::aboutToHide, this, [this] { MenuSelect(nullptr); });
    } else {
      state.action = menus_[e.parent]->addAction(QString());
      if (*e.shortcut) state.action->setShortcut(QKeySequence(e.shortcut));
    }
    state.action->setObjectName(name);
    state.action->setCheckable(e.flags & kCheckable);
    state.action->setChecked(e.flags & kChecked);
    state.enabled = !(e.flags & kDisabled);
    items_[name] = state;
    SetItemVisible(name, !(e.flags & kHidden));
    SetItemEnabled(name, state.enabled);
    if (e.flags & kSeparator) {
      menus_[e.parent]->addSeparator()->setObjectName(name + "Separator");
    }
  }
  connect(menuBar(), &QMenuBar::hovered, this, &TMainForm::MenuSelect);
  // F10 opens the first menu of the menu bar, from where the arrow keys reach every menu.
  auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
  connect(menuKey, &QShortcut::activated, this, [this] {
    for (QAction* action : menuBar()->actions())
      if (action->isVisible() && action->isEnabled()) {
        menuBar()->setActiveAction(action);
        return;
      }
  });

  const std::map<QString, void (TMainForm::*)()> handlers = {
      {"FileNew", &TMainForm::FileNewClick},
      {"FileOpen", &TMainForm::FileOpenClick},
      {"FileClose", &TMainForm::FileCloseClick},
      {"CompareInverter", &TMainForm::CompareInverterClick},
      {"CompareFile", &TMainForm::CompareFileClick},
      {"CompareFiles", &TMainForm::CompareFilesClick},
      {"FileSave", &TMainForm::FileSaveClick},
      {"FileSaveAs", &TMainForm::FileSaveAsClick},
      {"FileExport", &TMainForm::FileExportClick},
      {"FilePrintTitle", &TMainForm::FilePrintTitleClick},
      {"FilePrintPreview", &TMainForm::FilePrintPreviewClick},
      {"FilePrint", &TMainForm::FilePrintClick},
      {"FileExit", &TMainForm::FileExitClick},
      {"EditStation", &TMainForm::EditStationClick},
      {"EditFind", &TMainForm::EditFindClick},
      {"EditGoto", &TMainForm::EditGotoClick},
      {"EditDefinite", &TMainForm::EditDefiniteClick},
      {"OperationLink", &TMainForm::OperationLinkClick},
      {"OperationRead", &TMainForm::OperationReadClick},
      {"OperationWrite", &TMainForm::OperationWriteClick},
      {"OperationMotor", &TMainForm::OperationMotorClick},
      {"OperationMonitor", &TMainForm::OperationMonitorClick},
      {"OperationProfile", &TMainForm::OperationProfileClick},
      {"OperationOnline", &TMainForm::OperationOnlineClick},
      {"ViewToolbar", &TMainForm::ViewToolbarClick},
      {"ViewStatusbar", &TMainForm::ViewStatusbarClick},
      {"ViewLingua", &TMainForm::ViewLinguaClick},
      {"HelpContents", &TMainForm::HelpContentsClick},
      {"HelpAbout", &TMainForm::HelpAboutClick},
  };
  for (const auto& [name, handler] : handlers) items_[name].run = [this, handler] { (this->*handler)(); };
  for (int k = 1; k <= 4; ++k) items_[QString("FileRecent%1").arg(k)].run = [this, k] { FileRecentClick(k); };
  for (auto& [name, state] : items_) {
    if (!state.run || state.action->menu()) continue;
    // A checkable item's check mark is toggled by its handler, so the menu's own toggle is undone.
    connect(state.action, &QAction::triggered, this, [this, name = name] {
      QAction* a = items_[name].action;
      if (a->isCheckable()) a->setChecked(!a->isChecked());
      ClickItem(name);
    });
  }
}

void TMainForm::BuildToolBar() {
  ToolBar = addToolBar(QString());
  ToolBar->setObjectName("ToolBar");
  ToolBar->setMovable(false);
  ToolBar->setFloatable(false);
  ToolBar->setIconSize(QSize(32, 32));
  ToolBar->setFixedHeight(46);
  for (const ButtonEntry& b : kButtons) {
    if (b.dividerBefore) ToolBar->addSeparator();
    QAction* button = ToolBar->addAction(style()->standardIcon(b.image), QString());
    const QString name = b.name;
    button->setObjectName(name);
    ItemState state;
    state.action = button;
    state.hintId = b.hintId;
    if (b.hintId == 0) state.hint = "Motor";
    state.enabled = !(b.flags & kDisabled);
    if (*b.runs) {
      const QString target = b.runs;
      state.run = [this, target] { ClickItem(target); };
    } else if (name == "Print2Button") {
      state.run = [this] { Print2ButtonClick(); };
    } else {
      state.run = [this] { PasswordButtonClick(); };
    }
    items_[name] = state;
    SetItemVisible(name, !(b.flags & kHidden));
    SetItemEnabled(name, state.enabled);
    connect(button, &QAction::triggered, this, [this, name] { ClickItem(name); });
  }
  auto* spacer = new QWidget(ToolBar);
  spacer->setObjectName("ToolSeparator5");
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  ToolBar->addWidget(spacer);
  auto* imageTop = new QLabel(ToolBar);
  imageTop->setObjectName("ImageTop");
  imageTop->setPixmap(DrawLogo(86, 38, 15));
  ToolBar->addWidget(imageTop);
}

namespace {
constexpr int kPanelWidths[5] = {250, 160, 150, 160, 50};
}  // namespace

void TMainForm::BuildStatusBar() {
  for (int i = 0; i < 5; ++i) {
    panels_[i] = new QLabel(statusBar());
    panels_[i]->setObjectName(QString("StatusPanel%1").arg(i + 1));
    panels_[i]->setFixedWidth(kPanelWidths[i]);
    panels_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // The first panel also shows the menu hints: it takes the room the others leave.
    statusBar()->addWidget(panels_[i], i == 0 ? 1 : 0);
  }
  statusBar()->setSizeGripEnabled(false);
}

void TMainForm::BuildPanel() {
  panel_ = new QWidget(this);
  panel_->setObjectName("Panel");
  panel_->setAutoFillBackground(true);
  QPalette p = panel_->palette();
  p.setColor(QPalette::Window, p.color(QPalette::Dark));
  panel_->setPalette(p);
  auto* layout = new QVBoxLayout(panel_);
  layout->setContentsMargins(0, 0, 0, 0);
  imageLogo_ = new QLabel(panel_);
  imageLogo_->setObjectName("ImageLogo");
  imageLogo_->setAlignment(Qt::AlignCenter);
  imageLogo_->setPixmap(DrawLogo(400, 120, 64));
  layout->addWidget(imageLogo_);
  Memo1 = new QPlainTextEdit(panel_);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->hide();
  setCentralWidget(panel_);
}

void TMainForm::FormCreate() {
  auto& s = core::State();
  using Ticks = std::chrono::steady_clock::duration;
  s.TicksPerMs = std::chrono::duration_cast<Ticks>(std::chrono::milliseconds(1)).count();
  core::ClearLinkState(s);
  // A settings file that cannot be read or written is told once, in a box, not on a console.
  core::SetSettingsReporter([](const std::string& message) {
    Gui().MessageBox(Qs(message), L(73), Buttons::Ok, Icon::Warning);
  });
  const bool online = core::ReadStartupSettings(s);
  s.PrintTitles.fill(std::string());
  s.PrintSet.fill(true);
  s.Print2Enabled = false;
  items_["OperationOnline"].action->setChecked(online);
  child_ = nullptr;
  s.OnlineEdit = false;
  s.EnteredPassword.clear();
  s.LangTable = {};
  s.ParHeader = {};
  s.CmpHeader = {};
  const bool configurationRead = core::LoadConfiguration();
  ReportConfiguration(configurationRead);
  // The program's folder is the one it runs in, which holds its configuration: the motor tables
  // are kept there and the file dialogs start there, never beside a built binary that a rebuild
  // replaces.
  s.ProgramFolder = Ss(QDir::current().absolutePath());
  if (s.ProgramFolder.empty() || s.ProgramFolder.back() != '/') s.ProgramFolder += '/';
  ApplyLanguage();
  UpdateRecentMenu();
  SetItemVisible("Print2Button", s.Print2Enabled);
  UpdateStatusBar();
  s.LogMemo = [memo = QPointer<QPlainTextEdit>(Memo1)](const std::string& line) {
    if (memo) memo->appendPlainText(Qs(line));
  };
  s.ProcessMessages = [] { QCoreApplication::processEvents(); };
  // Full size also where no window manager acts on the maximised state.
  if (QScreen* shown = screen()) setGeometry(shown->availableGeometry());
  setWindowState(Qt::WindowMaximized);
}

void TMainForm::ReportConfiguration(bool read) {
  const QString path = QDir::current().absoluteFilePath(core::kConfigurationFileName);
  const QFileInfo file(path);
  QString problem;
  if (!file.exists()) {
    problem = extra::ConfigurationMissing(path);
  } else if (!read || !file.isFile()) {
    QFile f(path);
    const QString reason = file.isDir()                   ? extra::FolderNotFile()
                           : !f.open(QIODevice::ReadOnly) ? f.errorString()
                                                          : extra::NotAPlainFile();
    problem = extra::ConfigurationUnreadable(path, reason);
  }
  if (problem.isEmpty()) return;
  // Shown once the window is up, so the user sees which window it belongs to.
  QTimer::singleShot(0, this, [problem] { Gui().MessageBox(problem, L(73), Buttons::Ok, Icon::Warning); });
}

QString TMainForm::Title(bool fallback) const { return fallback ? ApplicationTitle() : Qs(core::State().AppTitle); }

void TMainForm::ApplyLanguage() {
  setWindowTitle(Title(true));
  const int lang = core::State().LanguageIndex;
  for (auto& [name, state] : items_) {
    if (name == "ViewLingua") {
      state.captionId = 111 + lang;
      state.hintId = 115 + lang;
    }
    if (state.captionId > 0) widestring::SetWideCaption(state.action, MenuText(L(state.captionId)));
    if (state.hintId > 0) state.hint = L(state.hintId);
    if (!state.action->menu() && state.action->parent() == ToolBar)
      state.action->setToolTip(state.hint);
    else
      widestring::SetWideHint(state.action, state.hint);
  }
  // Keyboard letters (Alt+letter on the menu bar, the letter in an open menu), menu by menu in
  // the order of the items, for the captions of the message table.
  auto letters = [this](const QList<QAction*>& actions) {
    QString used;
    std::vector<QAction*> open;
    for (QAction* action : actions) {
      const auto it = items_.find(action->objectName());
      if (it == items_.end() || it->second.captionId <= 0) continue;
      const QString text = action->text();
      const qsizetype marked = MnemonicAt(text);
      if (marked >= 0)
        used += text[marked].toLower();
      else
        open.push_back(action);
    }
    for (QAction* action : open) {
      QString text = action->text();
      for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
          ++i;  // "&&", a literal "&"
          continue;
        }
        if (!text[i].isLetterOrNumber() || used.contains(text[i].toLower())) continue;
        used += text[i].toLower();
        text.insert(i, '&');
        action->setText(text);
        break;
      }
    }
  };
  letters(menuBar()->actions());
  for (const auto& [name, menu] : menus_) letters(menu->actions());
}

void TMainForm::UpdateStatusBar() {
  const auto& s = core::State();
  const bool linked = s.LinkedStation >= 1;
  panels_[0]->setText(" " + L(33));
  panels_[1]->setText(" " + L(34) + (linked ? Qs(s.LinkRevision) : extra::NoRevision()));
  panels_[2]->setText(linked ? " " + L(35) + QString(" %1").arg(s.LinkedStation, 3, 10, QChar('0')) : " " + L(36));
  QString model;
  if (s.ParHeader.recordCount != 0)
    model = Qs(s.ParHeader.modelName.view());
  else if (s.CmpHeader.recordCount != 0)
    model = Qs(s.CmpHeader.modelName.view());
  else if (linked)
    model = Qs(s.LinkProduct);
  else
    model = extra::NoModel();
  panels_[3]->setText(" " + L(37) + model);
  if (!s.OnlineEdit)
    panels_[4]->setText(QString());
  else
    panels_[4]->setText(" " + L(items_.at("OperationOnline").action->isChecked() ? 38 : 39));
  SizeStatusPanels();
}

void TMainForm::SizeStatusPanels() {
  const auto& s = core::State();
  std::array<QStringList, 5> texts;
  for (int lang = 1; lang <= 4; ++lang) {
    texts[0] << " " + LIn(33, lang);
    texts[1] << " " + LIn(34, lang) + extra::NoRevision() << " " + LIn(34, lang) + Qs(s.LinkRevision);
    texts[2] << " " + LIn(35, lang) + " 254" << " " + LIn(36, lang);
    texts[3] << " " + LIn(37, lang) + extra::NoModel() << " " + LIn(37, lang) + Qs(s.LinkProduct);
    for (const auto& model : s.Models) texts[3] << " " + LIn(37, lang) + Qs(model.name.view());
    texts[4] << " " + LIn(38, lang) << " " + LIn(39, lang);
  }
  int total = 0;
  for (std::size_t i = 0; i < panels_.size(); ++i) {
    QLabel* panel = panels_[i];
    if (i > 0) texts[i] << panel->text();
    const QFontMetrics metrics = panel->fontMetrics();
    int widest = 0;
    for (const QString& text : texts[i]) widest = std::max(widest, metrics.horizontalAdvance(text));
    // The frame on both sides, the label's indent of half an "x" and as much again to spare.
    const int room = std::max(kPanelWidths[i], widest + 2 * panel->frameWidth() + metrics.horizontalAdvance('x') + 2);
    if (i == 0) {
      panel->setMinimumWidth(room);
      panel->setMaximumWidth(QWIDGETSIZE_MAX);
    } else {
      panel->setFixedWidth(room);
    }
    total += room + statusBar()->layout()->spacing() + 4;
  }
  // The window is never narrower than its panels, so none of them is squeezed.
  statusBar()->setMinimumWidth(total);
}

QString TMainForm::StatusPanel(int panel) const {
  return panel >= 1 && panel <= 5 ? panels_[panel - 1]->text() : QString();
}

void TMainForm::MenuSelect(QAction* item) {
  if (item) {
    for (const auto& [name, state] : items_)
      if (state.action == item) {
        // A menu item carries its hint as its wide hint; a tool button shows its own as a tool tip.
        panels_[0]->setText(" " + (state.action->parent() == ToolBar ? state.hint : widestring::WideHint(item)));
        return;
      }
  }
  panels_[0]->setText(" " + L(33));
}

QAction* TMainForm::Item(const QString& name) const {
  const auto it = items_.find(name);
  return it == items_.end() ? nullptr : it->second.action;
}

bool TMainForm::ItemEnabled(const QString& name) const {
  const auto it = items_.find(name);
  return it != items_.end() && it->second.enabled;
}

bool TMainForm::ItemVisible(const QString& name) const {
  const QAction* action = Item(name);
  return action && action->isVisible();
}

QString TMainForm::ItemHint(const QString& name) const {
  const auto it = items_.find(name);
  return it == items_.end() ? QString() : it->second.hint;
}

void TMainForm::SetItemEnabled(const QString& name, bool enabled) {
  auto it = items_.find(name);
  if (it == items_.end()) return;
  it->second.enabled = enabled;
  it->second.action->setEnabled(enabled);
}

void TMainForm::SetItemVisible(const QString& name, bool visible) {
  auto it = items_.find(name);
  if (it == items_.end()) return;
  it->second.action->setVisible(visible);
  it->second.action->setEnabled(it->second.enabled);
}

bool TMainForm::ClickItem(const QString& name) {
  const auto it = items_.find(name);
  if (it == items_.end() || !it->second.enabled || !it->second.run) return false;
  // Copy: the command may rebuild the item table's entries.
  const std::function<void()> run = it->second.run;
  run();
  return true;
}

void TMainForm::SetLinkedState(bool linked) {
  for (const char* name : {"CompareInverter", "OperationRead", "OperationWrite", "OperationMonitor", "OperationProfile",
                           "OperationOnline", "MonitorButton", "ProfileButton", "ReadButton", "WriteButton"})
    SetItemEnabled(name, linked);
  const auto& s = core::State();
  const bool known = linked && s.LinkedModel >= 1 && s.LinkedModel <= static_cast<int>(s.Models.size());
  const core::smod* model = known ? &s.Models[s.LinkedModel - 1] : nullptr;
  SetItemEnabled("PasswordButton", model && !model->levelPassword.empty());
  const bool motor = model && model->motorRegister > 0;
  SetItemVisible("OperationMotor", motor);
  SetItemVisible("MotorButton", motor);
  SetItemEnabled("MotorButton", motor);
  core::State().OnlineEdit = linked && items_["OperationOnline"].action->isChecked();
}

void TMainForm::ViewToolbarClick() {
  QAction* item = items_["ViewToolbar"].action;
  item->setChecked(!item->isChecked());
  ToolBar->setVisible(item->isChecked());
}

void TMainForm::ViewStatusbarClick() {
  QAction* item = items_["ViewStatusbar"].action;
  item->setChecked(!item->isChecked());
  statusBar()->setVisible(item->isChecked());
}

void TMainForm::ViewLinguaClick() {
  auto& s = core::State();
  int next = s.LanguageIndex >= 4 ? 1 : s.LanguageIndex + 1;
  auto named = [&s](int language) { return !s.LangTable[111 + language - 1][language - 1].empty(); };
  if (!named(next)) next = 1;
  if (!named(next)) return;
  s.LanguageIndex = next;
  core::WriteSettingInt("ParameterLanguage", next);
  ApplyLanguage();
  UpdateStatusBar();
  if (child_) QMetaObject::invokeMethod(child_, "LanguageChanged", Qt::QueuedConnection);
}

void TMainForm::HelpContentsClick() {
  const QString help = "Quorvane.hlp";
  if (!QFileInfo::exists(help)) {
    Gui().MessageBox(L(74) + "\n" + help, L(73), Buttons::Ok, Icon::Information);
    return;
  }
  Gui().OpenLink(QFileInfo(help).absoluteFilePath());
}

void TMainForm::HelpAboutClick() {
  TAboutForm about(this);
  Gui().ExecDialog(about);
}

void TMainForm::FileExitClick() {
  if (QuerySaveModified()) return;
  close();
}

bool TMainForm::event(QEvent* event) {
  if (event->type() != QEvent::StatusTip) return QMainWindow::event(event);
  // The application's hint (the wide-string support's hint action, or a Qt status tip) shows in
  // the first panel instead of covering the panels; an empty one leaves the panel to the
  // menu-select hint.
  const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
  if (!tip.isEmpty()) panels_[0]->setText(" " + tip);
  return true;
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (QuerySaveModified()) {
    event->ignore();
    return;
  }
  if (core::State().LinkedStation > 0) core::ClosePort();
  event->accept();
}

}  // namespace ui

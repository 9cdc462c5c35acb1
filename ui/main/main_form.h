// The main window: menus, tool bar, status bar, the hidden log memo, the one document child
// view, and the document, view, language and help commands.
#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "ui/main/print_commands.h"

class QLabel;
class QMenu;
class QPlainTextEdit;
class QToolBar;

namespace ui {

// Why a document whose header names the model `name` cannot be used here: "Model Unknown!!"
// and the name.
QString UnknownModel(std::string_view name);

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  // Start-up steps and texts.
  void ApplyLanguage();
  void UpdateStatusBar();
  void UpdateRecentMenu();
  QString StatusPanel(int panel) const;  // 1..5

  // Menu items and tool buttons by their names ("FileSave", "SaveButton", ...). An item keeps
  // its own enabled flag: a hidden but enabled item still acts through its tool button.
  // ItemEnabled is that flag.
  QAction* Item(const QString& name) const;
  bool ItemEnabled(const QString& name) const;
  bool ItemVisible(const QString& name) const;
  void SetItemEnabled(const QString& name, bool enabled);
  void SetItemVisible(const QString& name, bool visible);
  QString ItemHint(const QString& name) const;
  // Runs the item's command when it is enabled (what a tool button does); false otherwise.
  bool ClickItem(const QString& name);
  // Shows the hint of an item in the first panel, or the Ready text for none (menu closed).
  void MenuSelect(QAction* item);

  // The document state of the window: commands shown for an open document or hidden after
  // Close. `writeVisible` 1 shows OperationWrite, 0 hides it, -1 leaves it.
  void SetDocumentState(bool open, int writeVisible);
  // The linked state of the drive commands.
  void SetLinkedState(bool linked);
  // Closes the port and shows the unlinked state (the link dialog's Unlink, a lost connection).
  void Unlink();
  // The serial port failed under a drive command: unlinks and says so, with what the command
  // had done (`detail`, else why in general).
  void PortGone(const QString& detail);

  // The document child view ("ParamForm" or "CompareForm"), or null.
  QWidget* Child() const { return child_; }
  QString ChildKind() const;
  // The full path of the open document's file (the open dialog's file name); empty when unnamed.
  QString OpenFileName;
  QPlainTextEdit* Memo1 = nullptr;
  QToolBar* ToolBar = nullptr;

  // Document commands.
  bool QuerySaveModified();  // true: the user cancelled
  // Opens the file at `path`; a file that cannot be opened leaves the open document as it was.
  bool OpenDocument(const QString& path);

  // Printing (print_commands.cpp): the open document's report previewed or printed, the
  // three-across list printed, and the tables the reports read, made empty and open here.
  void PrintDocument(bool preview);
  void PrintThreeAcross();
  std::shared_ptr<memtable::TmvxMemTable> printTable = MakePrintTable();
  std::shared_ptr<memtable::TmvxMemTable> print2Table = MakePrint2Table();

 public slots:
  void FileNewClick();
  void FileOpenClick();
  void FileCloseClick();
  void FileSaveClick();
  void FileSaveAsClick();
  void FileRecentClick(int k);
  void FileExitClick();
  void FileExportClick();
  void FilePrintTitleClick();
  void FilePrintPreviewClick();
  void FilePrintClick();
  void Print2ButtonClick();
  void CompareInverterClick();
  void CompareFileClick();
  void CompareFilesClick();
  void EditFindClick();
  void EditGotoClick();
  void EditDefiniteClick();
  void EditStationClick();
  void OperationLinkClick();
  void OperationReadClick();
  void OperationWriteClick();
  void OperationMotorClick();
  void OperationMonitorClick();
  void OperationProfileClick();
  void OperationOnlineClick();
  void PasswordButtonClick();
  void ViewToolbarClick();
  void ViewStatusbarClick();
  void ViewLinguaClick();
  void HelpContentsClick();
  void HelpAboutClick();

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildToolBar();
  void BuildStatusBar();
  // Makes each status-bar panel as wide as its design width, or as the longest text it can show
  // in any language when that is wider (the first panel at least that wide: it also takes what
  // room the window has left, for the menu hints).
  void SizeStatusPanels();
  void BuildPanel();
  void FormCreate();
  // Tells the user, once the window shows, when the configuration file of the current folder is
  // missing or could not be read (`read` false): which file, where it was looked for, and why.
  void ReportConfiguration(bool read);

  void SetChild(QWidget* child);
  void FreeChild();
  void ClearDocuments();
  void SetDocumentCaption(bool fallbackTitle);
  QString Title(bool fallback) const;
  // Saves the open parameter or compare document under `path`, making it the document's file.
  bool SaveDocumentAs(const QString& path, bool compare);
  // Runs the save dialog (parameter or compare files); true with the chosen path.
  bool RunSaveDialog(bool compare, const QString& preset, QString& path);
  void ShowLoadFailure(const QString& path, const QString& reason);
  // Replaces the child by a compare view of the compare document just built.
  void ShowCompareDocument();
  // Find and Go to on the parameter view's lines: page 0 Find, 1 Go to.
  void ShowFindGoto(int page);

  struct ItemState {
    QAction* action = nullptr;
    bool enabled = true;
    QString hint;
    int hintId = 0;
    int captionId = 0;
    std::function<void()> run;
  };
  std::map<QString, ItemState> items_;
  std::map<QString, QMenu*> menus_;
  std::array<QLabel*, 5> panels_{};
  QWidget* panel_ = nullptr;
  QLabel* imageLogo_ = nullptr;
  QWidget* child_ = nullptr;
};

}  // namespace ui

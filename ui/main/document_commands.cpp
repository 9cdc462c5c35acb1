// The File and Edit commands of the main window: new, open, save, save as, close, recent
// files, the ask-to-save rule, and the station-title and print-title dialogs.
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QCheckBox>
#include <QComboBox>

#include "core/documents.h"
#include "core/settings.h"
#include "core/texts.h"
#include "platform/gui/gui_services.h"
#include "ui/common/extra_texts.h"
#include "ui/common/file_dialogs.h"
#include "ui/common/message_loop.h"
#include "ui/common/qt_text.h"
#include "ui/main/compare_form.h"
#include "ui/main/definite_form.h"
#include "ui/main/document_dialogs.h"
#include "ui/main/find_goto_form.h"
#include "ui/main/main_form.h"
#include "ui/main/param_form.h"

namespace ui {

using platform::gui::Buttons;
using platform::gui::Gui;
using platform::gui::Icon;
using platform::gui::IdCancel;
using platform::gui::IdOk;
using platform::gui::IdYes;


QString TMainForm::ChildKind() const { return child_ ? child_->objectName() : QString(); }

void TMainForm::SetChild(QWidget* child) {
  child_ = child;
  imageLogo_->hide();
  panel_->layout()->addWidget(child);
  child->show();
}

void TMainForm::FreeChild() {
  if (!child_) return;
  delete child_;
  child_ = nullptr;
  imageLogo_->show();
}

void TMainForm::ClearDocuments() {
  auto& s = core::State();
  s.Document.clear();
  s.CompareRecords.clear();
  s.ParHeader = {};
  s.CmpHeader = {};
}

void TMainForm::SetDocumentCaption(bool fallbackTitle) {
  setWindowTitle(Title(fallbackTitle) + " - [" + Qs(core::State().DocumentName) + "]");
}

void TMainForm::SetDocumentState(bool open, int writeVisible) {
  for (const char* name : {"FileClose", "FileSave", "FileSaveAs", "FilePrintTitle", "FilePrintPreview", "FilePrint",
                           "Edit1"})
    SetItemVisible(name, open);
  SetItemVisible("FileExport", open && core::State().Print2Enabled);
  if (!open)
    SetItemVisible("OperationWrite", false);
  else if (writeVisible >= 0)
    SetItemVisible("OperationWrite", writeVisible == 1);
  for (const char* name : {"SaveButton", "PrintButton", "Print2Button", "PrintPreviewButton"})
    SetItemEnabled(name, open);
  // Find and Go to work on the lines of a parameter view.
  const auto* view = open ? qobject_cast<TParamForm*>(child_) : nullptr;
  const bool lines = view && !core::State().Document.empty() && view->TabCount() > 0;
  for (const char* name : {"EditFind", "EditGoto"}) SetItemEnabled(name, lines);
  UpdateStatusBar();
}

bool TMainForm::RunSaveDialog(bool compare, const QString& preset, QString& path) {
  platform::gui::FileDialogSpec spec;
  spec.save = true;
  spec.filter = compare ? extra::CompareFilesFilter() : extra::ParameterFilesFilter();
  spec.defaultSuffix = compare ? "cmp" : "par";
  spec.fileName = preset;
  if (!RunFileDialog(spec, path)) return false;
  if (QFileInfo(path).suffix().isEmpty()) path += "." + spec.defaultSuffix;
  return true;
}

bool TMainForm::SaveDocumentAs(const QString& path, bool compare) {
  const core::FileResult result = compare ? core::SaveCompareFile(Ss(path)) : core::SaveParameterFile(Ss(path));
  if (!result) {
    Gui().MessageBox(Qs(result.error), L(73), Buttons::Ok, Icon::Stop);
    return false;
  }
  // Every save makes the written file the document's file, so a later Save writes there again.
  auto& s = core::State();
  OpenFileName = path;
  s.DocumentName = Ss(ShortName(path));
  s.DocumentModified = false;
  SetDocumentCaption(compare);
  UpdateRecentMenu();
  return true;
}

bool TMainForm::QuerySaveModified() {
  auto& s = core::State();
  const QString kind = ChildKind();
  if (kind == "ParamForm") {
    static_cast<TParamForm*>(child_)->parGrid->CommitEditor();
    LetMessagesRun();
  }
  if ((kind != "ParamForm" && kind != "CompareForm") || !s.DocumentModified) return false;
  const bool compare = kind == "CompareForm";
  const int answer = Gui().MessageBox(L(71) + "\n" + L(72), Title(compare), Buttons::YesNoCancel, Icon::Warning);
  if (answer == IdCancel) return true;
  if (answer == IdYes) {
    QString path;
    if (!RunSaveDialog(compare, QString(), path)) return true;
    if (!SaveDocumentAs(path, compare)) return true;
  }
  return false;
}

void TMainForm::FileNewClick() {
  if (QuerySaveModified()) return;
  auto& s = core::State();
  TNewModelForm dialog(this);
  if (Gui().ExecDialog(dialog) != IdOk) return;
  const int k = dialog.comboModel->currentIndex();
  if (k < 0 || k >= s.ModelCount || k >= static_cast<int>(s.ParamCountPerModel.size()) ||
      s.ParamCountPerModel[k] < 1)
    return;
  ClearDocuments();
  s.DocumentName.clear();
  for (const auto& definition : s.ParamDefs) {
    if (definition.model != k + 1) continue;
    s.Document.push_back(definition);
    s.Document.back().value = definition.defaultValue;
  }
  s.ParHeader.recordCount = static_cast<std::uint16_t>(s.Document.size());
  s.ParHeader.model = static_cast<std::uint32_t>(k + 1);
  s.ParHeader.modelName = Ss(dialog.comboModel->currentText());
  FreeChild();
  LetMessagesRun();
  SetChild(new TParamForm(panel_));
  s.DocumentName = "Untitled";
  OpenFileName.clear();
  SetDocumentCaption(false);
  SetDocumentState(true, 1);
}

void TMainForm::FileOpenClick() {
  if (QuerySaveModified()) return;
  platform::gui::FileDialogSpec spec;
  spec.filter = extra::ParameterAndCompareFilesFilter();
  spec.defaultSuffix = "par";
  spec.fileName = OpenFileName;
  QString path;
  if (RunFileDialog(spec, path)) OpenDocument(path);
}

void TMainForm::ShowLoadFailure(const QString& path, const QString& reason) {
  Gui().MessageBox(reason + "\n" + path, L(73), Buttons::Ok, Icon::Stop);
}

QString UnknownModel(std::string_view name) {
  return name.empty() ? L(79) : L(79) + "\n" + extra::ModelNotConfigured(Qs(name));
}

bool TMainForm::OpenDocument(const QString& path) {
  auto& s = core::State();
  // The kind comes from the extension alone, whatever the case; a folder named "x.par" or a
  // name like "a.cmp.bak" is no document.
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix != "par" && suffix != "cmp") {
    ShowLoadFailure(path, extra::NotADocumentFile());
    return false;
  }
  // Read into working records first: a file that cannot be used leaves the open document alone.
  core::ParameterFileHeader parHeader;
  std::vector<core::ParameterDefinition> document;
  core::CompareFileHeader cmpHeader;
  std::vector<core::CompareRecord> records;
  const bool compare = suffix == "cmp";
  // The document is the model's its header names: a file made under another configuration opens
  // as that model here, or not at all.
  const core::DocumentRead read = compare ? core::ReadCompareDocument(Ss(path), cmpHeader, records)
                                          : core::ReadParameterDocument(Ss(path), parHeader, document);
  if (read == core::DocumentRead::Unreadable) {
    ShowLoadFailure(path, extra::DocumentUnreadable());
    return false;
  }
  if (read == core::DocumentRead::UnknownModel) {
    ShowLoadFailure(path, UnknownModel(compare ? cmpHeader.modelName.view() : parHeader.modelName.view()));
    return false;
  }
  FreeChild();
  ClearDocuments();
  if (compare) {
    s.CmpHeader = cmpHeader;
    s.CompareRecords = std::move(records);
  } else {
    s.ParHeader = parHeader;
    s.Document = std::move(document);
  }
  core::AddRecentFile(Ss(path));
  LetMessagesRun();
  if (compare)
    SetChild(new TCompareForm(panel_));
  else
    SetChild(new TParamForm(panel_));
  OpenFileName = path;
  s.DocumentName = Ss(ShortName(path));
  SetDocumentCaption(true);
  SetDocumentState(true, compare ? 0 : 1);
  UpdateRecentMenu();
  return true;
}

void TMainForm::FileCloseClick() {
  if (QuerySaveModified()) return;
  auto& s = core::State();
  FreeChild();
  ClearDocuments();
  s.DocumentModified = false;
  s.DocumentName.clear();
  OpenFileName.clear();
  setWindowTitle(Title(false));
  SetDocumentState(false, 0);
}

void TMainForm::FileSaveClick() {
  const auto& s = core::State();
  if (!OpenFileName.isEmpty() && ShortName(OpenFileName) == Qs(s.DocumentName)) {
    // A comparison that found no difference counts no record and is still saved.
    if (s.ParHeader.recordCount != 0)
      SaveDocumentAs(OpenFileName, false);
    else if (s.CmpHeader.recordCount != 0 || ChildKind() == "CompareForm")
      SaveDocumentAs(OpenFileName, true);
    return;
  }
  const QString kind = ChildKind();
  if (kind != "ParamForm" && kind != "CompareForm") return;
  QString path;
  if (!RunSaveDialog(kind == "CompareForm", Qs(s.DocumentName), path)) return;
  SaveDocumentAs(path, kind == "CompareForm");
}

void TMainForm::FileSaveAsClick() {
  const QString kind = ChildKind();
  if (kind != "ParamForm" && kind != "CompareForm") return;
  QString path;
  if (!RunSaveDialog(kind == "CompareForm", Qs(core::State().DocumentName), path)) return;
  SaveDocumentAs(path, kind == "CompareForm");
}

void TMainForm::UpdateRecentMenu() {
  const auto recent = core::RecentFiles();
  for (int k = 1; k <= 4; ++k) {
    const QString path = Qs(recent[k - 1]);
    if (path.isEmpty() || !QFileInfo(path).isFile()) continue;
    const QString name = QString("FileRecent%1").arg(k);
    SetItemVisible("FileRecent", false);
    SetItemVisible(name, true);
    Item(name)->setText(ShortName(path));
  }
}

void TMainForm::FileRecentClick(int k) {
  const QString path = Qs(core::ReadSettingStr("ParameterRecent" + std::to_string(k)));
  if (path.isEmpty() || !QFileInfo(path).isFile()) {
    Gui().MessageBox(L(74), L(73), Buttons::Ok, Icon::Question);
    return;
  }
  if (QuerySaveModified()) return;
  OpenDocument(path);
  UpdateRecentMenu();
}

void TMainForm::EditStationClick() {
  auto& s = core::State();
  TStationForm dialog(this);
  for (int n = 1; n <= core::kStationCount; ++n) dialog.SetTitle(n, Qs(s.StationTitles[n]));
  if (Gui().ExecDialog(dialog) != IdOk) return;
  core::SettingsBatch batch;  // every title in one write of the settings file
  for (int n = 1; n <= core::kStationCount; ++n) {
    s.StationTitles[n] = Ss(dialog.Title(n));
    core::WriteSettingStr("ParameterStation" + std::to_string(n), s.StationTitles[n]);
  }
}

void TMainForm::FilePrintTitleClick() {
  auto& s = core::State();
  TPrintTitleForm dialog(this);
  for (int i = 0; i < 8; ++i) dialog.titleEdits[i]->setText(Qs(s.PrintTitles[i]));
  dialog.checkPrint->setChecked(s.PrintSet[0]);
  for (int k = 0; k < 9; ++k) dialog.checkGroup[k]->setChecked(s.PrintSet[k + 1]);
  if (Gui().ExecDialog(dialog) != IdOk) return;
  for (int i = 0; i < 8; ++i) s.PrintTitles[i] = Ss(dialog.titleEdits[i]->text());
  s.PrintSet[0] = dialog.checkPrint->isChecked();
  for (int k = 0; k < 9; ++k) s.PrintSet[k + 1] = dialog.checkGroup[k]->isChecked();
}

void TMainForm::ShowFindGoto(int page) {
  auto* view = qobject_cast<TParamForm*>(child_);
  if (!view || core::State().Document.empty() || view->TabCount() == 0) return;
  view->parGrid->CommitEditor();
  TFindGotoForm dialog(view);
  dialog.PageControl->setCurrentIndex(page);
  Gui().ExecDialog(dialog);
}

void TMainForm::EditFindClick() { ShowFindGoto(0); }
void TMainForm::EditGotoClick() { ShowFindGoto(1); }

void TMainForm::EditDefiniteClick() {
  if (!child_) return;
  if (auto* view = qobject_cast<TParamForm*>(child_)) view->parGrid->CommitEditor();
  TDefiniteForm dialog(child_);
  Gui().ExecDialog(dialog);
}

}  // namespace ui

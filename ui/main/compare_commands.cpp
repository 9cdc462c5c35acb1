// The Compare submenu: the linked drive, one file against another, or up to three files against
// the defaults build a compare document and show it in the compare view.
#include <QCoreApplication>
#include <QLineEdit>
#include <QComboBox>
#include "core/compare.h"
#include "core/documents.h"
#include "core/texts.h"
#include "platform/gui/gui_services.h"
#include "ui/common/extra_texts.h"
#include "ui/common/message_loop.h"
#include "ui/common/port_failure.h"
#include "ui/common/qt_text.h"
#include "ui/drive/read_write_form.h"
#include "ui/main/compare_form.h"
#include "ui/main/document_dialogs.h"
#include "ui/main/main_form.h"

namespace ui {

using platform::gui::Buttons;
using platform::gui::Gui;
using platform::gui::Icon;
using platform::gui::IdOk;
using platform::gui::IdYes;

namespace {

// The records of a parameter file, taken as the model's its header names; empty when the file
// cannot be used. `failure` says why a named file could not be used (an empty name is no
// failure: the file was not chosen).
std::vector<core::ParameterDefinition> ReadRecords(const QString& path, QString& failure) {
  core::ParameterFileHeader header;
  std::vector<core::ParameterDefinition> records;
  if (path.isEmpty()) return records;
  switch (core::ReadParameterDocument(Ss(path), header, records)) {
    case core::DocumentRead::Done: break;
    case core::DocumentRead::Unreadable: failure = extra::DocumentUnreadable(); break;
    case core::DocumentRead::UnknownModel: failure = UnknownModel(header.modelName.view()); break;
  }
  if (!failure.isEmpty()) records.clear();
  return records;
}

void SetModel(core::CompareFileHeader& h, int model) {
  const auto& s = core::State();
  h.model = static_cast<std::uint32_t>(model);
  if (model >= 1 && model <= static_cast<int>(s.Models.size())) h.modelName = s.Models[model - 1].name.view();
}

}  // namespace

void TMainForm::CompareInverterClick() {
  if (QuerySaveModified()) return;
  TCompareDefForm dialog(this);
  if (Gui().ExecDialog(dialog) != IdOk) return;
  auto& s = core::State();
  TReadWriteForm progress(this);
  progress.ReadMode = true;
  progress.Station = s.LinkedStation;
  progress.Groups.fill(true);
  if (Gui().ExecDialog(progress) != IdYes) {
    if (!HandlePortFailure()) Gui().MessageBox(L(78), L(75), Buttons::Ok, Icon::Information);
    return;
  }
  std::vector<core::CompareRecord> records = core::CompareWithDefaults(s.ReadValues);
  ClearDocuments();
  s.CmpHeader.kind = core::DriveWithDefaults;
  s.CmpHeader.station = static_cast<std::uint8_t>(s.LinkedStation & 0xFF);
  s.CmpHeader.recordCount = static_cast<std::uint16_t>(records.size());
  SetModel(s.CmpHeader, dialog.comboModel->currentIndex() + 1);
  s.CompareRecords = std::move(records);
  ShowCompareDocument();
}

void TMainForm::CompareFileClick() {
  if (QuerySaveModified()) return;
  TCompareFileForm dialog(this);
  if (Gui().ExecDialog(dialog) != IdOk) return;
  // A file that cannot be used is reported as Open reports it, not passed over in silence.
  QString failure;
  const auto file2 = ReadRecords(dialog.file2->text(), failure);
  if (!failure.isEmpty()) return ShowLoadFailure(dialog.file2->text(), failure);
  if (file2.empty()) return;
  const auto file1 = ReadRecords(dialog.file1->text(), failure);
  if (!failure.isEmpty()) return ShowLoadFailure(dialog.file1->text(), failure);
  if (file1.empty()) return;
  if (file1.front().model != file2.front().model) {
    Gui().MessageBox(L(87), L(73), Buttons::Ok, Icon::Information);
    return;
  }
  std::vector<core::CompareRecord> records = core::CompareFileWithFile(file1, file2);
  auto& s = core::State();
  ClearDocuments();
  s.CmpHeader.kind = core::FileWithFile;
  s.CmpHeader.recordCount = static_cast<std::uint16_t>(records.size());
  SetModel(s.CmpHeader, file1.front().model);
  s.CmpHeader.fileNames[0] = Ss(dialog.file1->text());
  s.CmpHeader.fileNames[1] = Ss(dialog.file2->text());
  s.CompareRecords = std::move(records);
  ShowCompareDocument();
}

void TMainForm::CompareFilesClick() {
  if (QuerySaveModified()) return;
  TCompareFilesForm dialog(this);
  if (Gui().ExecDialog(dialog) != IdOk) return;
  std::vector<core::ParameterDefinition> files[3];
  const QLineEdit* names[3] = {dialog.file1, dialog.file2, dialog.file3};
  for (int k = 0; k < 3; ++k) {
    QString failure;
    files[k] = ReadRecords(names[k]->text(), failure);
    if (!failure.isEmpty()) return ShowLoadFailure(names[k]->text(), failure);
  }
  const auto& [file1, file2, file3] = files;
  if (file1.empty()) return;
  const int model = dialog.comboModel->currentIndex() + 1;
  if (file1.front().model != model) {
    Gui().MessageBox(L(87), L(73), Buttons::Ok, Icon::Information);
    return;
  }
  std::vector<core::CompareRecord> records = core::CompareFilesWithDefaults(file1, file2, file3);
  auto& s = core::State();
  ClearDocuments();
  s.CmpHeader.kind = core::FilesWithDefaults;
  s.CmpHeader.recordCount = static_cast<std::uint16_t>(records.size());
  SetModel(s.CmpHeader, model);
  s.CmpHeader.fileNames[0] = Ss(dialog.file1->text());
  s.CmpHeader.fileNames[1] = Ss(dialog.file2->text());
  s.CmpHeader.fileNames[2] = Ss(dialog.file3->text());
  s.CompareRecords = std::move(records);
  ShowCompareDocument();
}

void TMainForm::ShowCompareDocument() {
  auto& s = core::State();
  FreeChild();
  LetMessagesRun();
  SetChild(new TCompareForm(panel_));
  s.DocumentName = "Untitled";
  OpenFileName.clear();
  SetDocumentCaption(false);
  SetDocumentState(true, -1);
}

}  // namespace ui

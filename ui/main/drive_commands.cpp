// The Operation commands of the main window: link and unlink, read a drive into a new
// document, write the open document, the online-edit switch, the monitor, profile and motor
// table windows and the password button.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "core/documents.h"
#include "core/modbus.h"
#include "core/param_access.h"
#include "core/read_back.h"
#include "core/serial_link.h"
#include "core/settings.h"
#include "platform/gui/gui_services.h"
#include "ui/common/extra_texts.h"
#include "ui/common/message_loop.h"
#include "ui/common/port_failure.h"
#include "ui/common/qt_text.h"
#include "ui/drive/connect_form.h"
#include "ui/drive/group_forms.h"
#include "ui/drive/link_form.h"
#include "ui/drive/monitor_form.h"
#include "ui/drive/motor_form.h"
#include "ui/drive/profile_form.h"
#include "ui/drive/read_write_form.h"
#include "ui/main/main_form.h"
#include "ui/main/param_form.h"

namespace ui {

using platform::gui::Buttons;
using platform::gui::Gui;
using platform::gui::Icon;
using platform::gui::IdAbort;
using platform::gui::IdCancel;
using platform::gui::IdNo;
using platform::gui::IdOk;
using platform::gui::IdRetry;
using platform::gui::IdYes;

namespace {

void Inform(int textId) { Gui().MessageBox(L(textId), L(75), Buttons::Ok, Icon::Information); }

// The last model whose name is the drive's product code, or 0.
int ModelOfProduct(const std::string& product) {
  const auto& s = core::State();
  int found = 0;
  for (int m = 1; m <= s.ModelCount; ++m)
    if (s.Models[static_cast<std::size_t>(m - 1)].name == product) found = m;
  return found;
}

}  // namespace

void TMainForm::Unlink() {
  core::ClosePort();  // clears the link state
  core::State().OnlineEdit = false;
  SetLinkedState(false);
  UpdateStatusBar();
}

void TMainForm::PortGone(const QString& detail) {
  Unlink();
  const QString why = detail.isEmpty() ? extra::PortGone() : detail;
  Gui().MessageBox(L(76) + "\n" + why, L(75), Buttons::Ok, Icon::Stop);
}

void TMainForm::OperationLinkClick() {
  auto& s = core::State();
  TLinkForm dialog(this);
  dialog.comboPort->setCurrentIndex(s.LinkPort >= 1 && s.LinkPort <= 16 ? s.LinkPort - 1 : 0);
  dialog.SetBaud(s.LinkBaud);
  if (s.LinkStationList.empty()) {
    dialog.editStation->clear();
    dialog.editStation->setEnabled(false);
  } else {
    dialog.editStation->setText(Qs(s.LinkStationList));
  }
  if (s.LinkedStation > 0)
    dialog.Link->setEnabled(false);
  else
    dialog.Unlink->setEnabled(false);

  const int choice = Gui().ExecDialog(dialog);
  if (choice == IdAbort) {
    Unlink();
    return;
  }
  if (choice != IdOk) return;

  const int port = dialog.comboPort->currentIndex() + 1;
  const int baud = dialog.Baud() ? dialog.Baud() : 19200;
  if (!core::OpenPort(static_cast<std::uint8_t>(port), static_cast<std::uint16_t>(baud), 8, 'N', 1)) {
    Gui().MessageBox(L(76) + "\n" + L(77) + "\n" + extra::PortOpenFailure(core::LastPortOpenFailure()), L(75),
                     Buttons::Ok, Icon::Stop);
    return;
  }
  {
    TConnectForm probe(this);
    probe.Stations = dialog.Stations;
    int result = probe.ProbeSingleStation();
    if (result == IdCancel && !core::PortFailed()) result = Gui().ExecDialog(probe);
    if (HandlePortFailure()) return;
    if (result == IdYes) {
      const int model = ModelOfProduct(s.DeviceProduct);
      if (model == 0) {
        Inform(79);
      } else {
        s.LinkedStation = s.DeviceStation;
        s.LinkedModel = model;
        s.LinkVendor = s.DeviceVendor;
        s.LinkProduct = s.DeviceProduct;
        s.LinkRevision = s.DeviceRevision;
        s.LinkPort = port;
        s.LinkBaud = baud;
        s.LinkStationList = Ss(dialog.editStation->text());
        s.LinkDataBits = 8;
        s.LinkParity = 'N';
        s.LinkStopBits = 1;
        core::SaveLinkSettings(s);
        SetLinkedState(true);
      }
    } else if (result == IdNo) {
      Gui().MessageBox(L(78) + "\n" + extra::LinkFailure(probe.ProbeResult, probe.Stations.lowest()), L(75),
                       Buttons::Ok, Icon::Information);
    }
  }
  if (s.LinkedStation == 0) core::ClosePort();
  UpdateStatusBar();
}

void TMainForm::OperationReadClick() {
  // Reading replaces the open document: a modified one is offered for saving first.
  if (QuerySaveModified()) return;
  auto& s = core::State();
  TReadForm groups(this);
  if (Gui().ExecDialog(groups) != IdOk) return;
  TReadWriteForm progress(this);
  progress.ReadMode = true;
  progress.Station = s.LinkedStation;
  progress.Groups = groups.Flags();
  if (Gui().ExecDialog(progress) != IdYes) {
    if (!HandlePortFailure()) Inform(78);
    return;
  }
  ClearDocuments();
  s.ParHeader.recordCount = static_cast<std::uint16_t>(s.ReadValues.size());
  s.ParHeader.model = static_cast<std::uint32_t>(s.LinkedModel);
  s.ParHeader.modelName = s.LinkProduct;
  s.Document = s.ReadValues;
  FreeChild();
  LetMessagesRun();
  SetChild(new TParamForm(panel_));
  s.DocumentName = "Untitled";
  OpenFileName.clear();
  SetDocumentCaption(false);
  SetDocumentState(true, 1);
  UpdateStatusBar();
}

void TMainForm::OperationWriteClick() {
  auto& s = core::State();
  // A document of another model would put its values into the wrong registers.
  if (!core::DocumentOfLinkedModel()) {
    Gui().MessageBox(L(87), L(73), Buttons::Ok, Icon::Information);
    return;
  }
  TWriteForm groups(this);
  if (Gui().ExecDialog(groups) != IdOk) return;
  s.WriteStationList = std::to_string(s.LinkedStation);
  TReadWriteForm progress(this);
  progress.ReadMode = false;
  progress.Stations.add(s.LinkedStation);
  progress.Groups = groups.Flags();
  const int result = Gui().ExecDialog(progress);
  if (HandlePortFailure(progress.Failure)) return;
  if (result != IdNo && result != IdRetry) return;
  // The box names the parameter and station that failed and what had been written; a failed
  // exchange and a refused value keep their own texts above that.
  QString text = progress.Failure;
  const core::TransactionResult failed = progress.FailedResult;
  if (result == IdRetry)
    text = L(214) + "\n" + text;
  else if (text.isEmpty() || failed == core::kResultSendFailed || failed == core::kResultBadReply ||
           failed == core::kResultWrongContent)
    text = L(78) + (text.isEmpty() ? QString() : "\n" + text);
  Gui().MessageBox(text, L(75), Buttons::Ok, Icon::Information);
}

void TMainForm::OperationMotorClick() {
  const auto& s = core::State();
  if (s.LinkedStation == 0 || s.LinkedModel < 1 || s.LinkedModel > static_cast<int>(s.Models.size()) ||
      s.Models[static_cast<std::size_t>(s.LinkedModel - 1)].motorRegister <= 0)
    return;
  TMotorForm motor(this);
  Gui().ExecDialog(motor);
  HandlePortFailure(motor.PortFailure);
}

void TMainForm::OperationMonitorClick() {
  if (core::State().LinkedStation == 0) return;
  int result;
  {
    TMonitorForm monitor(this);
    result = Gui().ExecDialog(monitor);
  }
  if (HandlePortFailure()) return;
  if (result != IdAbort && result != IdRetry) return;
  Unlink();
  // Text 70 has no built-in English text: a configuration without it still gets a message.
  QString text = L(result == IdAbort ? 76 : 70);
  if (text.isEmpty()) text = extra::MonitorEndedByDrive();
  Gui().MessageBox(text, L(75), Buttons::Ok, Icon::Stop);
}

void TMainForm::OperationProfileClick() {
  if (core::State().LinkedStation == 0) return;
  int result;
  {
    TProfileForm profile(this);
    result = Gui().ExecDialog(profile);
  }
  if (HandlePortFailure()) return;
  if (result != IdAbort) return;
  Unlink();
  Gui().MessageBox(L(76), L(75), Buttons::Ok, Icon::Stop);
}

void TMainForm::OperationOnlineClick() {
  QAction* item = Item("OperationOnline");
  item->setChecked(!item->isChecked());
  core::WriteSettingInt("ParameterOnline", item->isChecked() ? 1 : 0);
  auto& s = core::State();
  s.OnlineEdit = s.LinkedModel > 0 && item->isChecked();
  UpdateStatusBar();
}

void TMainForm::PasswordButtonClick() {
  const auto& s = core::State();
  QString entry;
  if (!Gui().InputQuery(L(86), L(88), entry, platform::gui::Echo::Password)) return;
  int number = 0;
  if (!ParseInteger(entry, number)) return;
  if (s.LinkedModel < 1 || s.LinkedModel > static_cast<int>(s.Models.size())) return;
  const core::MonitorItem& item = s.Models[s.LinkedModel - 1].levelPassword;
  const core::TransactionResult result = core::WriteWord(static_cast<std::uint8_t>(s.LinkedStation), item.reg,
                                                         static_cast<std::uint16_t>(number & 0xFFFF));
  if (result == 0 || HandlePortFailure()) return;
  QString text = L(99) + "\n" + extra::TransactionFailure(result, extra::Exchange::Write);
  // The drive may have taken the password all the same; its register reads back its own value
  // (not the password), which is shown as it is.
  if (core::WriteMayHaveBeenDone(result)) {
    const core::RegistersReadBack back = core::ReadRegistersBack(s.LinkedStation, item.reg, 1);
    if (HandlePortFailure()) return;
    const QString held = back.result == core::kResultOk ? QString::number(back.words[0]) : QString();
    text += "\n" + extra::ValueReadBack(extra::RegisterName(item.reg), back.result, held);
  }
  Gui().MessageBox(text, L(78), Buttons::Ok, Icon::Information);
}

}  // namespace ui

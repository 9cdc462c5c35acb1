// The Operation commands of the main window that need no drive window: the online-edit switch
// and the password button. Link, Read, Write, Monitor, Profile and Motor open the drive windows,
// which plug in here; until they exist those commands show nothing.
#include <QAction>

#include "core/modbus.h"
#include "core/settings.h"
#include "platform/gui/gui_services.h"
#include "ui/main/main_form.h"
#include "ui/main/qt_text.h"

namespace ui {

using platform::gui::Buttons;
using platform::gui::Gui;
using platform::gui::Icon;

void TMainForm::OperationLinkClick() {}
void TMainForm::OperationReadClick() {}
void TMainForm::OperationWriteClick() {}
void TMainForm::OperationMotorClick() {}
void TMainForm::OperationMonitorClick() {}
void TMainForm::OperationProfileClick() {}

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
  if (!Gui().InputQuery(L(86), L(88), entry)) return;
  int number = 0;
  if (!ParseInteger(entry, number)) return;
  if (s.LinkedModel < 1 || s.LinkedModel > static_cast<int>(s.Models.size())) return;
  const core::MonitorItem& item = s.Models[s.LinkedModel - 1].levelPassword;
  const core::TransactionResult result = core::WriteWord(static_cast<std::uint8_t>(s.LinkedStation), item.reg,
                                                         static_cast<std::uint16_t>(number & 0xFFFF));
  if (result != 0) Gui().MessageBox(L(99), L(78), Buttons::Ok, Icon::Information);
}

}  // namespace ui

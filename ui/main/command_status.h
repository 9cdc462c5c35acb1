// Commands of the main window whose windows are not built yet. Their menu items and the tool
// buttons that run them stay disabled and do nothing, whatever state the other commands give
// them; the hint says they are not available yet. When a command's window lands, its flag here
// turns true and the command takes the state the menu rules give it.
#pragma once

#include <QString>

namespace ui {

struct CommandStatus {
  const char* command;  // menu item name, or the tool button's own name when it runs no menu item
  bool built;
};

inline constexpr CommandStatus kCommandStatus[] = {
    {"FilePrintPreview", true},
    {"FilePrint", true},
    {"Print2Button", true},
    {"EditFind", true},
    {"EditGoto", true},
    {"EditDefinite", true},
    {"OperationMotor", true},
    {"OperationMonitor", true},
    {"OperationProfile", true},
};

// False only for a command listed above whose flag is still false.
inline bool CommandBuilt(const QString& command) {
  for (const CommandStatus& c : kCommandStatus)
    if (command == QLatin1String(c.command)) return c.built;
  return true;
}

}  // namespace ui

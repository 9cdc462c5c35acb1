// The file dialogs of the windows start in the folder of the last file chosen in any file
// dialog of this run, else in the program's folder (the folder it runs in, which holds its
// configuration), else in the user's documents folder (the home folder when there is none).
#pragma once

#include <QString>

#include "platform/gui/gui_services.h"

namespace ui {

// The folder the next file dialog starts in.
QString StartFolder();

// Runs the file dialog through the window services, starting in StartFolder() unless `spec`
// names a folder; a confirmed choice becomes the folder of the next dialog.
bool RunFileDialog(platform::gui::FileDialogSpec spec, QString& path);

}  // namespace ui

// Errors that no caller can take, shown to the user as the application shows an error that
// leaves a command: in a stop box with OK, captioned with the application title. The in-memory
// table hands such errors (a table that fails to close as it is destroyed, for example when its
// persistent file cannot be written) to the handler the program installs at start-up.
#pragma once

#include <QString>
#include <exception>

namespace ui {

// The configured application title, or the design title when none is configured.
QString ApplicationTitle();

// Shows the error through the window services (on the user-interface thread: from another
// thread it is queued there). The silent abort (dataset::EAbort) shows nothing.
void ShowApplicationError(std::exception_ptr error);

// Makes ShowApplicationError the in-memory table's application exception handler.
void InstallApplicationErrorHandler();

}  // namespace ui

// The service tool's program entry: the application object, the main window, the message loop.
#include <QApplication>

#include "controls/widestring/wide_application.h"
#include "ui/main/application_errors.h"
#include "ui/main/main_form.h"
#include "ui/main/sheet_text_measurer.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The wide-string support starts before the first window and stops after the last.
  widestring::StartWideStringSupport();
  // Fitted spreadsheet columns and rows follow the screen's font metrics.
  ui::InstallSheetTextMeasurer();
  // Errors of the in-memory tables that no caller can take are shown in a message box.
  ui::InstallApplicationErrorHandler();
  int result = 0;
  {
    ui::TMainForm mainForm;
    mainForm.show();
    result = app.exec();
  }
  widestring::StopWideStringSupport();
  return result;
}

// The service tool's program entry: the application object, the main window, the message loop.
#include <QApplication>

#include "controls/widestring/wide_application.h"
#include "ui/main/main_form.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The wide-string support starts before the first window and stops after the last.
  widestring::StartWideStringSupport();
  int result = 0;
  {
    ui::TMainForm mainForm;
    mainForm.show();
    result = app.exec();
  }
  widestring::StopWideStringSupport();
  return result;
}

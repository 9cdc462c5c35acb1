// The service tool's program entry: the application object, the main window, the message loop.
#include <QApplication>

#include "ui/main/main_form.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ui::TMainForm mainForm;
  mainForm.show();
  return app.exec();
}

// Shows the typed edit demonstration window.
#include <QApplication>

#include "controls/edit/edit_demo_form.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  controls::TEditDemoForm form;
  form.show();
  return app.exec();
}

// Renders the main window with a parameter document and without a document to PNG files
// under the build folder (build/<name>/ui_screenshots/), so the look can be inspected.
#include <QDir>
#include <QTest>

#include "core/common.h"
#include "tests/ui/ui_test_support.h"
#include "ui/common/grid_look.h"
#include "ui/main/main_form.h"
#include "ui/main/param_form.h"

using uitest::Sandbox;

namespace {

QString Shot(QWidget& window, const QString& name) {
  const QString folder = QString(KV_BINARY_DIR) + "/ui_screenshots";
  QDir().mkpath(folder);
  const QString path = folder + "/" + name;
  QImage image = window.grab().toImage();
  if (!image.save(path, "PNG")) return QString();
  return path;
}

bool HasColour(const QImage& image, const QColor& colour) {
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2)
      if (image.pixelColor(x, y) == colour) return true;
  return false;
}

}  // namespace

class ScreenshotTest : public QObject {
  Q_OBJECT
 private slots:
  void mainWindowWithParameterDocument() {
    Sandbox box;
    ui::TMainForm form;
    form.setWindowState(Qt::WindowNoState);
    form.resize(1000, 640);
    form.show();
    uitest::NewDocument(form, box.gui(), 0);
    ui::TParamForm* view = uitest::ParamView(form);
    QVERIFY(view);
    view->SelectRow(2);
    QCoreApplication::processEvents();
    const QString path = Shot(form, "main_window_parameters.png");
    QVERIFY(!path.isEmpty());
    QImage image(path);
    QVERIFY(HasColour(image, ui::kHeaderCream));
    QVERIFY(HasColour(image, ui::kCurrentBlue));

    form.FileCloseClick();
    QCoreApplication::processEvents();
    QVERIFY(!Shot(form, "main_window_empty.png").isEmpty());
  }
};

QTEST_MAIN(ScreenshotTest)
#include "screenshot_test.moc"

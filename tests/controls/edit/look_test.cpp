// What the typed edit draws: the attached label's place, the link look, the long-text hint, the
// flat look, the empty-text hint and the error marker, checked on grabbed images; and a
// screenshot of the demonstration window with a field of every mode.
#include <QDir>
#include <QHelpEvent>
#include <QLabel>
#include <QTest>
#include <QToolTip>
#include <set>

#include "controls/edit/edit_demo_form.h"
#include "controls/edit/edit_text.h"
#include "controls/edit/typed_edit.h"
#include "platform/gui/gui_services.h"

using namespace controls;

namespace {

int CountColour(const QImage& image, const QRect& area, const QColor& colour) {
  int n = 0;
  for (int y = std::max(0, area.top()); y <= std::min(image.height() - 1, area.bottom()); ++y)
    for (int x = std::max(0, area.left()); x <= std::min(image.width() - 1, area.right()); ++x)
      if (image.pixelColor(x, y) == colour) ++n;
  return n;
}


struct Form {
  QWidget window;
  TTypedEdit* edit;
  QLineEdit* other;
  Form() {
    window.resize(400, 200);
    edit = new TTypedEdit(&window);
    edit->setGeometry(150, 80, 160, 24);
    other = new QLineEdit(&window);
    other->setGeometry(150, 150, 100, 24);
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window)) qWarning("window not active");
    other->setFocus();
  }
};

}  // namespace

class LookTest : public QObject {
  Q_OBJECT
 private slots:
  void labelPlacement() {
    Form f;
    f.edit->SetLabelPosition(lpLeftCenter);
    f.edit->SetLabelCaption("Speed");
    QLabel* label = f.edit->Label();
    QVERIFY(label && label->isVisible());
    QCOMPARE(label->buddy(), f.edit);
    QCOMPARE(label->geometry().right() + 1, f.edit->x() - 4);
    QCOMPARE(label->width(), QFontMetrics(label->font()).horizontalAdvance("Speed"));
    QCOMPARE(label->y() + label->height() / 2, f.edit->y() + f.edit->height() / 2);
    QFont big = f.edit->LabelFont();
    big.setPointSize(40);
    f.edit->SetLabelFont(big);
    QVERIFY(label->height() > f.edit->height());
    QCOMPARE(label->y(), f.edit->y() + (f.edit->height() - label->height()) / 2);
    f.edit->SetLabelFont(QFont());
    f.edit->SetLabelPosition(lpTopCenter);
    f.edit->SetLabelMargin(2);
    QCOMPARE(label->geometry().bottom() + 1, f.edit->y() - 2);
    QCOMPARE(label->x(), f.edit->x() + (f.edit->width() - label->width()) / 2);
    f.edit->move(160, 90);
    QCOMPARE(label->geometry().bottom() + 1, 88);
    f.edit->setVisible(false);
    QVERIFY(!label->isVisible());
  }

  void linkLookAndHint() {
    QVERIFY(!LooksLikeLink("@kestravel"));
    QVERIFY(LooksLikeLink("a@kestravel"));
    Form f;
    f.edit->SetText("http://kestravel.example");
    QVERIFY(!f.edit->LinkLook());
    f.edit->SetShowURL(true);
    QVERIFY(f.edit->LinkLook());
    QVERIFY(f.edit->font().underline());
    QCOMPARE(f.edit->ShownTextColor(), f.edit->URLColor());
    QCOMPARE(f.edit->cursor().shape(), Qt::PointingHandCursor);
    platform::gui::ScopedScript script;
    // The click that focuses the field only places the caret; the next one opens the link.
    QVERIFY(f.other->hasFocus());
    QTest::mouseClick(f.edit, Qt::LeftButton, {}, QPoint(20, 10));
    QVERIFY(f.edit->hasFocus());
    QVERIFY(script->links.empty());
    QTest::mouseClick(f.edit, Qt::LeftButton, {}, QPoint(20, 10));
    QCOMPARE(script->links, std::vector<QString>({"http://kestravel.example"}));
    // Focused from the keyboard first: the first click opens it.
    f.other->setFocus();
    f.edit->setFocus(Qt::TabFocusReason);
    QTest::mouseClick(f.edit, Qt::LeftButton, {}, QPoint(20, 10));
    QCOMPARE(script->links.size(), 2u);
    // A right click that focuses the field does not arm the next left click either way.
    f.other->setFocus();
    QTest::mouseClick(f.edit, Qt::RightButton, {}, QPoint(20, 10));
    QApplication::processEvents();
    if (QWidget* menu = QApplication::activePopupWidget()) menu->close();
    QTest::mouseClick(f.edit, Qt::LeftButton, {}, QPoint(20, 10));
    QCOMPARE(script->links.size(), 3u);
    f.edit->SetText("plain");
    QVERIFY(!f.edit->LinkLook());
    QVERIFY(!f.edit->font().underline());
    // The hint shows a text wider than the field whole.
    f.edit->SetHintShowLargeText(true);
    f.edit->SetText(QString(80, 'w'));
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), f.edit->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(f.edit, &help);
    QCOMPARE(QToolTip::text(), f.edit->Text());
  }

  void painting() {
    Form f;
    const QColor line(200, 0, 40);
    f.edit->SetFlatLineColor(line);
    f.edit->SetFlat(true);
    QImage image = f.edit->grab().toImage();
    const int w = image.width(), h = image.height();
    QVERIFY(CountColour(image, QRect(0, h - 1, w, 1), line) > w / 2);
    QCOMPARE(CountColour(image, QRect(0, 0, 1, h - 1), line), 0);
    f.edit->SetSoftBorder(true);
    image = f.edit->grab().toImage();
    QVERIFY(CountColour(image, QRect(0, 0, 1, h), line) > h / 2);
    QVERIFY(CountColour(image, QRect(0, 0, w, 1), line) > w / 2);
    // The empty-text hint only while empty and without the focus.
    f.edit->SetFlat(false);
    f.edit->SetText("");
    // Whether the hint changes the picture, and in grey only.
    auto hintShows = [&] {
      const QImage with = f.edit->grab().toImage();
      f.edit->SetEmptyText("");
      const QImage without = f.edit->grab().toImage();
      f.edit->SetEmptyText("type here");
      int grey = 0, other = 0;
      for (int y = 0; y < with.height(); ++y)
        for (int x = 0; x < with.width(); ++x) {
          const QColor c = with.pixelColor(x, y);
          if (c == without.pixelColor(x, y)) continue;
          (c.red() == c.green() && c.green() == c.blue() ? grey : other)++;
        }
      return grey > 10 && other == 0;
    };
    f.edit->SetEmptyText("type here");
    QVERIFY(hintShows());
    f.edit->setFocus();
    QVERIFY(!hintShows());
    f.other->setFocus();
    f.edit->SetText("x");
    QVERIFY(!hintShows());
    // The error marker: red under the marked characters, only without the focus.
    f.edit->SetText("abcdefghij");
    f.edit->SetErrorMarkerPos(2);
    f.edit->SetErrorMarkerLen(4);
    image = f.edit->grab().toImage();
    QVERIFY(CountColour(image, image.rect(), Qt::red) > 5);
    QCOMPARE(CountColour(image, QRect(0, 0, 8, h), Qt::red), 0);
    f.edit->setFocus();
    image = f.edit->grab().toImage();
    QCOMPARE(CountColour(image, image.rect(), Qt::red), 0);
  }

  void demonstrationForm() {
    TEditDemoForm form;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) qWarning("form not exposed");
    std::set<TTypedEditType> modes;
    for (TTypedEdit* edit : form.Fields()) {
      modes.insert(edit->EditType());
      QLabel* label = edit->Label();
      QVERIFY(label);
      // Each caption fits its label, and the label stands inside the window, clear of its field.
      QVERIFY(QFontMetrics(label->font()).horizontalAdvance(label->text()) <= label->width());
      QVERIFY(form.rect().contains(label->geometry()));
      QVERIFY(!label->geometry().intersects(edit->geometry()));
      QVERIFY(form.rect().contains(edit->geometry()));
      if (edit->EditType() != etString) QVERIFY(!edit->Text().isEmpty());
    }
    QCOMPARE(modes.size(), std::size_t(11));
    QCOMPARE(form.Fields()[7]->Text(), QString("1,234,567.50"));
    QVERIFY(form.Fields().back()->ShownBackground() == form.Fields().back()->DisabledColor());
    const QString folder = QString(KV_BINARY_DIR) + "/ui_screenshots";
    QDir().mkpath(folder);
    const QImage image = form.grab().toImage();
    QVERIFY(image.save(folder + "/edit_demo_form.png", "PNG"));
    QVERIFY(CountColour(image, image.rect(), QColor(0, 0, 160)) > 50);  // the flat line
  }
};

QTEST_MAIN(LookTest)
#include "look_test.moc"

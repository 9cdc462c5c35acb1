// Wide captions and hints of real Qt controls through a form stream, with the wide property
// filers that the wide-string support installs at start-up.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "controls/widestring/wide_application.h"
#include "controls/widestring/wide_controls.h"
#include "controls/widestring/wide_menus.h"

using namespace widestring;

namespace {

// A window with a button, a label and a group box holding an edit, all named, and an unnamed label.
struct Window {
  QWidget root;
  QPushButton* button = new QPushButton(&root);
  QLabel* label = new QLabel(&root);
  QGroupBox* group = new QGroupBox(&root);
  QLineEdit* edit = new QLineEdit(group);
  QLabel* unnamed = new QLabel(&root);
  Window() {
    root.setObjectName("MainForm");
    button->setObjectName("RunButton");
    label->setObjectName("Status");
    group->setObjectName("Settings");
    edit->setObjectName("Speed");
  }
  QStringList Texts() const {
    return {root.windowTitle(), button->text(), WideControlHint(button), label->text(), WideControlHint(label),
            group->title(),     edit->text(),   WideControlHint(edit),   unnamed->text()};
  }
};

std::vector<std::uint8_t> WriteWindow(Window& w) {
  TWideControlForm form(&w.root);
  platform::MemoryStream s;
  platform::FormWriter::WriteRoot(s, form);
  return s.Bytes();
}

void ReadWindow(const std::vector<std::uint8_t>& bytes, Window& w) {
  TWideControlForm form(&w.root);
  platform::FormReader::ReadRoot(bytes.data(), bytes.size(), form);
}

}  // namespace

class FormTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { StartWideStringSupport(); }
  void cleanup() { StopWideStringSupport(); }

  void wideCaptionsAndHintsRoundTripWithTheWideSupportOnly() {
    Window a;
    a.root.setWindowTitle("Kestravel – Привод 😀");
    a.button->setText("&Пуск + Run");
    SetWideControlHint(a.button, "Startet den Antrieb|Ξεκινά 日本語");  // both parts come back
    a.label->setText("Ready: 100 %");
    a.group->setTitle("Настройки");
    a.edit->setText("1200 об/мин");
    a.edit->setToolTip("+-~\\");
    a.unnamed->setText("not stored");
    const auto bytes = WriteWindow(a);

    Window b;
    b.edit->setText("old text");
    ReadWindow(bytes, b);
    QStringList expected = a.Texts();
    expected.last() = QString();  // the unnamed label is not stored
    QCOMPARE(b.Texts(), expected);
    QCOMPARE(b.button->toolTip() + "/" + b.button->statusTip(), QString("Startet den Antrieb/Ξεκινά 日本語"));

    // Without the wide-string support the stored form is refused.
    StopWideStringSupport();
    Window c;
    QString error;
    try {
      ReadWindow(bytes, c);
    } catch (const platform::EReadError& e) {
      error = e.what();
    }
    StartWideStringSupport();
    QVERIFY2(error.contains("Caption_UTF7 does not exist"), qPrintable(error));
    QCOMPARE(c.Texts(), Window().Texts());
  }
};

QTEST_MAIN(FormTest)
#include "form_test.moc"

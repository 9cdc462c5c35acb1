// Wide captions and hints of real Qt controls through a form stream, with the wide property
// filers that the wide-string support installs at start-up.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <memory>

#include "controls/widestring/wide_application.h"
#include "controls/widestring/wide_controls.h"

using namespace widestring;

namespace {

// A window with a button, a label and a group box holding an edit; every widget named.
struct Window {
  QWidget root;
  QPushButton* button;
  QLabel* label;
  QGroupBox* group;
  QLineEdit* edit;
  QLabel* unnamed;
  Window() {
    root.setObjectName("MainForm");
    auto* layout = new QVBoxLayout(&root);
    button = new QPushButton(&root);
    button->setObjectName("RunButton");
    label = new QLabel(&root);
    label->setObjectName("Status");
    group = new QGroupBox(&root);
    group->setObjectName("Settings");
    edit = new QLineEdit(group);
    edit->setObjectName("Speed");
    unnamed = new QLabel(&root);
    for (QWidget* w : {static_cast<QWidget*>(button), static_cast<QWidget*>(label), static_cast<QWidget*>(group),
                       static_cast<QWidget*>(unnamed)})
      layout->addWidget(w);
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

  void wideCaptionsAndHintsRoundTrip() {
    Window a;
    a.root.setWindowTitle("Kestravel – Привод 😀");
    a.button->setText("&Пуск + Run");
    a.button->setToolTip("Startet den Antrieb|Ξεκινά 日本語");
    a.label->setText("Ready: 100 %");
    a.group->setTitle("Настройки");
    a.edit->setText("1200 об/мин");
    a.edit->setToolTip("+-~\\");
    a.unnamed->setText("not stored");
    const auto bytes = WriteWindow(a);

    Window b;
    b.edit->setText("old text");
    ReadWindow(bytes, b);
    QCOMPARE(b.root.windowTitle(), a.root.windowTitle());
    QCOMPARE(b.button->text(), a.button->text());
    QCOMPARE(b.button->toolTip(), a.button->toolTip());
    QCOMPARE(b.label->text(), a.label->text());
    QCOMPARE(b.label->toolTip(), QString());
    QCOMPARE(b.group->title(), a.group->title());
    QCOMPARE(b.edit->text(), a.edit->text());
    QCOMPARE(b.edit->toolTip(), a.edit->toolTip());
    QCOMPARE(b.unnamed->text(), QString());
  }

  void theStoredFormNeedsTheWideSupport() {
    Window a;
    a.button->setText("Ωk");
    const auto bytes = WriteWindow(a);
    StopWideStringSupport();
    Window b;
    bool refused = false;
    try {
      ReadWindow(bytes, b);
    } catch (const platform::EReadError& e) {
      refused = QString(e.what()).contains("Caption_UTF7 does not exist");
    }
    StartWideStringSupport();
    QVERIFY(refused);
    QCOMPARE(b.button->text(), QString());
  }
};

QTEST_MAIN(FormTest)
#include "form_test.moc"

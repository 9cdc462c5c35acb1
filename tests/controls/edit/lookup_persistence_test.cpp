// The lookup popup driven by typed keys, and the saved text surviving a restart of the field,
// in an INI file and in the settings store.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QScrollBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "controls/edit/typed_edit.h"
#include "platform/ini_file.h"
#include "platform/settings_store.h"

using namespace controls;

namespace {

std::unique_ptr<QWidget> Window(TTypedEdit*& edit, const QString& name = "speedField") {
  auto window = std::make_unique<QWidget>();
  window->resize(300, 100);
  edit = new TTypedEdit(window.get());
  edit->setObjectName(name);
  edit->setGeometry(50, 20, 150, 24);
  return window;
}

void Show(QWidget& window, TTypedEdit* edit) {
  window.show();
  window.activateWindow();
  if (!QTest::qWaitForWindowActive(&window)) qWarning("window not active");
  edit->setFocus();
}

QStringList Shown(TTypedEdit* edit) {
  QStringList rows;
  for (int i = 0; i < edit->LookupPopup()->ListControl()->count(); ++i)
    rows << edit->LookupPopup()->ListControl()->item(i)->text();
  return rows;
}

}  // namespace

class LookupPersistenceTest : public QObject {
  Q_OBJECT
 private slots:
  void lookupPopup() {
    TTypedEdit* edit;
    auto window = Window(edit);
    Show(*window, edit);
    edit->Lookup().Enabled = true;
    edit->Lookup().DisplayList = {"Motor B", "Generator", "motor a"};
    edit->Lookup().ValueList = {"MB"};
    edit->Lookup().SetNumChars(0);
    QCOMPARE(edit->Lookup().NumChars(), 2);
    QTest::keyClick(edit, 'm');
    QVERIFY(!edit->LookupPopup()->isVisible());
    QTest::keyClick(edit, 'o');
    QVERIFY(edit->LookupPopup()->isVisible());
    QCOMPARE(Shown(edit), QStringList({"motor a", "Motor B"}));
    QCOMPARE(edit->LookupPopup()->height(), 2 * 12 + 4);
    QTest::keyClick(edit, 'x');
    QVERIFY(!edit->LookupPopup()->isVisible());
    // Case-sensitive matching leaves out the capitalised entry.
    edit->Lookup().CaseSensitive = true;
    edit->SetText("m");
    QTest::keyClicks(edit, "o");
    QCOMPARE(Shown(edit), QStringList({"motor a"}));
    // Entry without a value: the displayed text; entry with one: its value, as the event leaves it.
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(!edit->LookupPopup()->isVisible());
    QCOMPARE(edit->Text(), QString("motor a"));
    edit->Lookup().CaseSensitive = false;
    edit->SetText("M");
    QTest::keyClick(edit, 'o');
    QTest::keyClick(edit, Qt::Key_End);
    QCOMPARE(edit->LookupPopup()->ListControl()->currentItem()->text(), QString("Motor B"));
    QString seen;
    edit->OnLookupSelect = [&](TTypedEdit&, QString& value) {
      seen = value;
      value += "!";
    };
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(seen, QString("MB"));
    QCOMPARE(edit->Text(), QString("MB!"));
    QCOMPARE(edit->selectedText(), QString("MB!"));
    // Leaving the field hides the popup.
    edit->SetText("");
    QTest::keyClicks(edit, "ge");
    QVERIFY(edit->LookupPopup()->isVisible());
    auto* other = new QLineEdit(window.get());
    other->show();
    other->setFocus();
    QCoreApplication::processEvents();
    QVERIFY(!edit->LookupPopup()->isVisible());
  }

  void lookupListIsAlphabeticalAndNeverElided() {
    TTypedEdit* edit;
    auto window = Window(edit);
    Show(*window, edit);
    edit->Lookup().Enabled = true;
    edit->Lookup().DisplayList = {"alpha", "ALBERT", "Alba", "Alan", "Beta", "alba"};
    QTest::keyClicks(edit, "al");
    QVERIFY(edit->LookupPopup()->isVisible());
    // Without regard to case; the two spellings of one word keep their list order.
    QCOMPARE(Shown(edit), QStringList({"Alan", "Alba", "alba", "ALBERT", "alpha"}));
    // The first match in list order is the selected entry.
    QCOMPARE(edit->LookupPopup()->ListControl()->currentItem()->text(), QString("alpha"));

    // More matches than rows: the scroll bar shows and the entries keep their full width.
    edit->SetText("");
    edit->Lookup().DisplayCount = 3;
    edit->Lookup().DisplayList = {"Motor 7.5 kW four pole", "Motor 11 kW two pole", "Motor 15 kW",
                                  "Motor 18.5 kW", "Motor 22 kW six pole"};
    QTest::keyClicks(edit, "Mo");
    QListWidget* list = edit->LookupPopup()->ListControl();
    QVERIFY(edit->LookupPopup()->isVisible());
    QCOMPARE(list->count(), 5);
    QTRY_VERIFY(list->verticalScrollBar()->isVisible());
    const QFontMetrics fm(list->font());
    for (int i = 0; i < list->count(); ++i) {
      const QString text = list->item(i)->text();
      QVERIFY2(list->visualItemRect(list->item(i)).width() >= fm.horizontalAdvance(text) + 6, qPrintable(text));
      QVERIFY2(list->viewport()->width() >= fm.horizontalAdvance(text) + 6, qPrintable(text));
    }
    // With every match in sight, no room is kept for a scroll bar.
    const int scrolledWidth = edit->LookupPopup()->width();
    edit->Lookup().DisplayCount = 5;
    edit->SetText("M");
    QTest::keyClick(edit, 'o');
    QTRY_VERIFY(!list->verticalScrollBar()->isVisible());
    QCOMPARE(edit->LookupPopup()->width(),
             scrolledWidth - list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list));
  }

  void iniFileSurvivesRestart() {
    const QString ini = QCoreApplication::applicationDirPath() + "/" +
                        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + ".INI";
    QFile::remove(ini);
    {
      TTypedEdit* edit;
      auto window = Window(edit);
      edit->SetEditType(etNumeric);
      edit->SetPrefix("$");
      edit->SetSuffix(" kg");
      edit->Persistence().Enable = true;
      edit->Persistence().Section = "Profile";
      edit->Loaded();
      QCOMPARE(edit->Persistence().Key, ini);
      Show(*window, edit);
      edit->SetText("");
      QTest::keyClicks(edit, "42");
    }
    QCOMPARE(platform::IniFile(ini.toStdString()).readString("profile", "SPEEDFIELD").value_or(""), std::string("$42 kg"));
    auto restarted = [&] {
      TTypedEdit* edit;
      auto window = Window(edit);
      edit->SetEditType(etNumeric);
      edit->SetPrefix("$");
      edit->SetSuffix(" kg");
      edit->Persistence().Enable = true;
      edit->Persistence().Section = "Profile";
      edit->SetText("7");
      edit->Loaded();
      const QString text = edit->Text();
      edit->Persistence().Enable = false;
      return text;
    };
    QCOMPARE(restarted(), QString("42"));
    // A hand-edited file cannot put letters into the number field; "@" means nothing stored.
    QVERIFY(platform::IniFile(ini.toStdString()).writeString("Profile", "speedField", "$4x2 kg"));
    QCOMPARE(restarted(), QString("0"));
    QVERIFY(platform::IniFile(ini.toStdString()).writeString("Profile", "speedField", "@"));
    QCOMPARE(restarted(), QString("7"));
    QFile::remove(ini);
  }

  void settingsStoreSurvivesRestart() {
    QTemporaryDir dir;
    qputenv("KVX_SETTINGS_DIR", dir.path().toUtf8());
    {
      TTypedEdit* edit;
      auto window = Window(edit, "title");
      edit->SetEditType(etMixedCase);
      edit->Persistence().Enable = true;
      edit->Persistence().Location = plRegistry;
      edit->Persistence().Key = "Edits";
      edit->Loaded();
      Show(*window, edit);
      QTest::keyClicks(edit, "john mcdonald");
    }
    QCOMPARE(platform::SettingsStore::Default().readString("Edits\\title").value_or(""), std::string("John McDonald"));
    TTypedEdit* edit;
    auto window = Window(edit, "title");
    edit->SetEditType(etUppercase);
    edit->Persistence().Enable = true;
    edit->Persistence().Location = plRegistry;
    edit->Persistence().Key = "Edits";
    edit->Loaded();
    QCOMPARE(edit->Text(), QString("John McDonald"));
    qunsetenv("KVX_SETTINGS_DIR");
    edit->Persistence().Enable = false;
  }
};

QTEST_MAIN(LookupPersistenceTest)
#include "lookup_persistence_test.moc"

// The lookup popup driven by typed keys, and the saved text surviving a restart of the field,
// in an INI file and in the settings store.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
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
    QCOMPARE(Shown(edit), QStringList({"Motor B", "motor a"}));
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
    QTest::keyClick(edit, Qt::Key_Home);
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

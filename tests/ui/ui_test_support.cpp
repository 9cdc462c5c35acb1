#include "tests/ui/ui_test_support.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "core/common.h"
#include "core/documents.h"
#include "core/serial_link.h"
#include "core/settings.h"
#include "ui/main/compare_form.h"
#include "ui/main/document_dialogs.h"
#include "ui/main/main_form.h"
#include "ui/main/param_form.h"

namespace uitest {

Sandbox::Sandbox(const QString& extraConfig, bool withConfig) {
  previousFolder_ = QDir::currentPath();
  previousSettings_ = qgetenv("KVX_SETTINGS_DIR");
  qputenv("KVX_SETTINGS_DIR", settings_.path().toUtf8());
  if (withConfig) {
    QFile source(QString(KV_TEST_DATA) + "/Kestravel.cfg");
    if (!source.open(QIODevice::ReadOnly)) qFatal("test configuration missing");
    QFile target(work_.filePath("Kestravel.cfg"));
    if (!target.open(QIODevice::WriteOnly)) qFatal("cannot write the test configuration");
    target.write(source.readAll());
    target.write("\n");
    target.write(extraConfig.toUtf8());
  }
  QDir::setCurrent(work_.path());
  core::ResetState();
  script_ = std::make_unique<platform::gui::ScopedScript>();
}

Sandbox::~Sandbox() {
  script_.reset();
  QDir::setCurrent(previousFolder_);
  if (previousSettings_.isEmpty())
    qunsetenv("KVX_SETTINGS_DIR");
  else
    qputenv("KVX_SETTINGS_DIR", previousSettings_);
  core::ResetState();
}

void Sandbox::SetSetting(const QString& name, int value) { core::WriteSettingInt(name.toStdString(), value); }

QString LanguageNames() {
  return "[LANGID=112;English;English;English;English]\n"
         "[LANGID=113;Italiano;Italiano;Italiano;Italiano]\n"
         "[LANGID=116;Change the Language;Cambia la Lingua;Sprache wechseln;Changer la langue]\n"
         "[LANGID=117;Change the Language;Cambia la Lingua;Sprache wechseln;Changer la langue]\n";
}

platform::gui::ScriptedServices::DialogScript PressOk(std::function<void(QDialog&)> prepare) {
  return [prepare](QDialog& dialog) {
    if (prepare) prepare(dialog);
    if (auto* ok = dialog.findChild<QPushButton*>("OK")) ok->click();
  };
}

void NewDocument(ui::TMainForm& form, platform::gui::ScriptedServices& gui, int k) {
  gui.dialogScripts.push_back(PressOk([k](QDialog& dialog) {
    static_cast<ui::TNewModelForm&>(dialog).comboModel->setCurrentIndex(k);
  }));
  form.FileNewClick();
}

ui::TParamForm* ParamView(ui::TMainForm& form) { return qobject_cast<ui::TParamForm*>(form.Child()); }
ui::TCompareForm* CompareView(ui::TMainForm& form) { return qobject_cast<ui::TCompareForm*>(form.Child()); }

int RowOfCode(ui::TParamForm& view, const QString& code) {
  for (int row = 1; row < view.RowCount(); ++row)
    if (view.Cell(2, row) == code) return row;
  return -1;
}

core::ParameterDefinition& DocumentLine(const char* code) {
  for (auto& line : core::State().Document)
    if (line.code == code) return line;
  qFatal("no line %s", code);
}

void EnterValue(ui::TParamForm& view, int row, const QString& text) {
  view.SelectRow(row);
  QVERIFY(view.parGrid->OpenEditor());
  QLineEdit* editor = view.parGrid->Editor();
  editor->selectAll();
  editor->del();
  QTest::keyClicks(editor, text);
  QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();  // the delegate commits through a posted call
}

void LinkWindow(ui::TMainForm& form, int station, int model) {
  auto& s = core::State();
  s.LinkedStation = station;
  s.LinkedModel = model;
  s.LinkProduct = "KV100";
  core::LearnPortLineEcho(core::LineEcho::Quiet);  // as Link leaves a line without echo
  form.SetLinkedState(true);
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  QCOMPARE(f.write(bytes), bytes.size());
}

void WriteCompareFile(const QString& path) {
  core::CompareFileHeader header;
  header.kind = core::FileWithFile;
  header.model = 1;
  header.recordCount = 1;
  std::vector<core::CompareRecord> records(1);
  records[0].code = "P0.00";
  records[0].displayGroup = 1;
  const std::string bytes = core::EncodeCompareFile(header, records);
  WriteFile(path, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

}  // namespace uitest

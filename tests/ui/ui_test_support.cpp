#include "tests/ui/ui_test_support.h"

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTest>

#include "core/common.h"
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

}  // namespace uitest

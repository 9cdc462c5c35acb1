// What the window tests share: a temporary working folder holding the test configuration, a
// temporary settings folder, a fresh application state, and scripted window services.
#pragma once

#include <QDir>
#include <QtWidgets>
#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "platform/gui/gui_services.h"

namespace ui {
class TMainForm;
class TParamForm;
class TCompareForm;
}  // namespace ui

namespace uitest {

class Sandbox {
 public:
  // `extraConfig` is appended to the test configuration; `withConfig` false starts without one.
  explicit Sandbox(const QString& extraConfig = QString(), bool withConfig = true);
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  QString Path(const QString& name) const { return work_.filePath(name); }
  platform::gui::ScriptedServices& gui() { return **script_; }
  // Writes a settings value before the main window starts.
  void SetSetting(const QString& name, int value);

 private:
  QTemporaryDir work_;
  QTemporaryDir settings_;
  QString previousFolder_;
  QByteArray previousSettings_;
  std::unique_ptr<platform::gui::ScopedScript> script_;
};

// The language names the switch needs: the test configuration names languages 3 and 4 only.
QString LanguageNames();

// Makes a new parameter document for the model at list index `k` through the New command.
void NewDocument(ui::TMainForm& form, platform::gui::ScriptedServices& gui, int k);

ui::TParamForm* ParamView(ui::TMainForm& form);
ui::TCompareForm* CompareView(ui::TMainForm& form);

// The row of the parameter view that shows `code` on the current tab, or -1.
int RowOfCode(ui::TParamForm& view, const QString& code);

// A script that presses OK on the dialog (after `prepare`, if given).
platform::gui::ScriptedServices::DialogScript PressOk(std::function<void(QDialog&)> prepare = nullptr);

}  // namespace uitest

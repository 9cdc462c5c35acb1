// What the window tests share: a temporary working folder holding the test configuration, a
// temporary settings folder, a fresh application state, and scripted window services.
#pragma once

#include <QDir>
#include <QtWidgets>
#include <QString>
#include <QTest>
#include <QTemporaryDir>
#include <memory>

#include "core/common.h"
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

// The open document's line of `code` (the test fails at once without one).
core::ParameterDefinition& DocumentLine(const char* code);

// Selects `row` of the parameter view, opens its editor, replaces the text with `text` and
// presses Enter; the editor must open.
void EnterValue(ui::TParamForm& view, int row, const QString& text);

// The main window linked to `station` of `model` (the drive's product KV100), on the open
// port's line learnt as one without echo.
void LinkWindow(ui::TMainForm& form, int station = 1, int model = 1);

// Writes `bytes` to `path`.
void WriteFile(const QString& path, const QByteArray& bytes);
// A compare file of one record (code P0.00, display group 1) of model 1, comparing two files.
void WriteCompareFile(const QString& path);

#ifdef KV_BINARY_DIR
// Keeps a picture of `window` as ui_screenshots/<name>.png in the build folder.
inline void Shot(QWidget& window, const QString& name) {
  const QString folder = QString(KV_BINARY_DIR) + "/ui_screenshots";
  QDir().mkpath(folder);
  QVERIFY2(window.grab().save(folder + "/" + name + ".png", "PNG"), qPrintable(name));
}
#endif

}  // namespace uitest

#include "platform/gui/gui_services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

namespace platform::gui {

namespace {
Services* installed = nullptr;

DesktopServices& Desktop() {
  static DesktopServices desktop;
  return desktop;
}
}  // namespace

Services& Gui() { return installed ? *installed : Desktop(); }

void SetGui(Services* services) { installed = services; }

QString QtFilter(const QString& filter) {
  const QStringList parts = filter.split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    out << parts[i] + " (" + patterns + ")";
  }
  return out.join(";;");
}

int DesktopServices::MessageBox(const QString& text, const QString& caption, Buttons buttons, Icon icon) {
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(caption);
  box.setText(text);
  switch (icon) {
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
    case Icon::Stop: box.setIcon(QMessageBox::Critical); break;
    case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
  }
  switch (buttons) {
    case Buttons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case Buttons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case Buttons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Ok: return IdOk;
    case QMessageBox::Yes: return IdYes;
    case QMessageBox::No: return IdNo;
    default: return buttons == Buttons::Ok ? IdOk : IdCancel;
  }
}

bool DesktopServices::InputQuery(const QString& caption, const QString& prompt, QString& text, Echo echo) {
  bool ok = false;
  const QLineEdit::EchoMode mode = echo == Echo::Password ? QLineEdit::Password : QLineEdit::Normal;
  const QString entry = QInputDialog::getText(QApplication::activeWindow(), caption, prompt, mode, text, &ok);
  if (ok) text = entry;
  return ok;
}

bool DesktopServices::FileDialog(const FileDialogSpec& spec, QString& path) {
  QFileDialog dialog(QApplication::activeWindow());
  dialog.setAcceptMode(spec.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(spec.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setNameFilter(QtFilter(spec.filter));
  dialog.setDefaultSuffix(spec.defaultSuffix);
  if (!spec.folder.isEmpty()) dialog.setDirectory(spec.folder);
  if (!spec.fileName.isEmpty()) dialog.selectFile(spec.fileName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  path = dialog.selectedFiles().first();
  return true;
}

void DesktopServices::Beep() { QApplication::beep(); }

void DesktopServices::OpenLink(const QString& target) {
  QUrl url = QUrl::fromUserInput(target, QString(), QUrl::AssumeLocalFile);
  QDesktopServices::openUrl(url);
}

int DesktopServices::ExecDialog(QDialog& dialog) { return dialog.exec(); }

int ScriptedServices::MessageBox(const QString& text, const QString& caption, Buttons buttons, Icon icon) {
  messages.push_back({text, caption, buttons, icon});
  if (messageAnswers.empty()) {
    if (buttons == Buttons::Ok) return IdOk;
    ++unexpected;
    return buttons == Buttons::YesNo ? IdNo : IdCancel;
  }
  const int answer = messageAnswers.front();
  messageAnswers.pop_front();
  return answer;
}

bool ScriptedServices::InputQuery(const QString& caption, const QString& prompt, QString& text, Echo echo) {
  inputs.push_back({caption, prompt, echo});
  if (inputAnswers.empty()) {
    ++unexpected;
    return false;
  }
  const InputAnswer answer = inputAnswers.front();
  inputAnswers.pop_front();
  if (answer.confirmed) text = answer.text;
  return answer.confirmed;
}

bool ScriptedServices::FileDialog(const FileDialogSpec& spec, QString& path) {
  fileDialogs.push_back(spec);
  if (fileAnswers.empty()) {
    ++unexpected;
    return false;
  }
  const FileAnswer answer = fileAnswers.front();
  fileAnswers.pop_front();
  if (answer.confirmed) path = answer.path;
  return answer.confirmed;
}

void ScriptedServices::Beep() { ++beeps; }

void ScriptedServices::OpenLink(const QString& target) { links.push_back(target); }

int ScriptedServices::ExecDialog(QDialog& dialog) {
  dialogs.push_back(dialog.metaObject()->className());
  dialog.setResult(0);
  if (dialogScripts.empty()) {
    ++unexpected;
    return IdCancel;
  }
  DialogScript script = std::move(dialogScripts.front());
  dialogScripts.pop_front();
  script(dialog);
  return dialog.result();
}

ScopedScript::ScopedScript() : previous_(installed) { SetGui(&script_); }

ScopedScript::~ScopedScript() { SetGui(previous_); }

}  // namespace platform::gui

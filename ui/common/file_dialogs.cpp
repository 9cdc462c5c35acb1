#include "ui/common/file_dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "core/common.h"

namespace ui {

namespace {
QString& LastFolder() {
  static QString folder;
  return folder;
}
}  // namespace

QString StartFolder() {
  if (!LastFolder().isEmpty() && QFileInfo(LastFolder()).isDir()) return LastFolder();
  const QString program = QString::fromStdString(core::State().ProgramFolder);
  if (!program.isEmpty() && QFileInfo(program).isDir()) return QDir(program).absolutePath();
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (!documents.isEmpty() && QFileInfo(documents).isDir()) return documents;
  return QDir::homePath();
}

bool RunFileDialog(platform::gui::FileDialogSpec spec, QString& path) {
  if (spec.folder.isEmpty()) spec.folder = StartFolder();
  if (!platform::gui::Gui().FileDialog(spec, path) || path.isEmpty()) return false;
  LastFolder() = QFileInfo(path).absolutePath();
  return true;
}

}  // namespace ui

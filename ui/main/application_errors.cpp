#include "ui/main/application_errors.h"

#include <QCoreApplication>
#include <QThread>

#include "core/common.h"
#include "memtable/mem_table.h"
#include "platform/gui/gui_services.h"
#include "ui/common/extra_texts.h"
#include "ui/common/qt_text.h"

namespace ui {

QString ApplicationTitle() {
  const QString title = Qs(core::State().AppTitle);
  return title.isEmpty() ? extra::DefaultTitle() : title;
}

void ShowApplicationError(std::exception_ptr error) {
  if (!error) return;
  QString text;
  try {
    std::rethrow_exception(error);
  } catch (const dataset::EAbort&) {
    return;  // an operation given up on purpose: nothing to tell
  } catch (const std::exception& e) {
    text = Qs(std::string(e.what()));
  } catch (...) {
    // No text of its own: the unknown-error text below.
  }
  if (text.isEmpty()) text = extra::UnknownError();
  auto show = [text] {
    platform::gui::Gui().MessageBox(text, ApplicationTitle(), platform::gui::Buttons::Ok, platform::gui::Icon::Stop);
  };
  QCoreApplication* app = QCoreApplication::instance();
  if (app && QThread::currentThread() != app->thread())
    QMetaObject::invokeMethod(app, show, Qt::QueuedConnection);
  else
    show();
}

void InstallApplicationErrorHandler() { memtable::TmvxCustomMemTable::SetApplicationExceptionHandler(ShowApplicationError); }

}  // namespace ui

#include "ui/common/message_loop.h"

#include <QCoreApplication>

namespace ui {

void LetMessagesRun(int times) {
  for (int i = 0; i < times; ++i) QCoreApplication::processEvents();
}

}  // namespace ui

#include "ui/common/port_failure.h"

#include "core/serial_link.h"

namespace ui {

namespace {
std::function<void(const QString&)>& Handler() {
  static std::function<void(const QString&)> handler;
  return handler;
}
}  // namespace

void SetPortFailureHandler(std::function<void(const QString& detail)> handler) { Handler() = std::move(handler); }

bool HandlePortFailure(const QString& detail) {
  if (!core::PortFailed()) return false;
  // A copy: the handler closes the port, and may replace itself.
  const auto handler = Handler();
  if (handler) handler(detail);
  return true;
}

}  // namespace ui

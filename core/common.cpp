#include "core/common.h"

#include <bit>
#include <memory>

namespace core {

float AbsentValue() { return std::bit_cast<float>(0xFFC00000u); }

AppState::AppState() { PrintSet.fill(true); }

namespace {
std::unique_ptr<AppState>& Holder() {
  static std::unique_ptr<AppState> state = std::make_unique<AppState>();
  return state;
}
}  // namespace

AppState& State() { return *Holder(); }

void ResetState() { Holder() = std::make_unique<AppState>(); }

void ClearLinkState(AppState& s) {
  s.LinkedStation = 0;
  s.LinkedModel = 0;
  s.LinkVendor.clear();
  s.LinkProduct.clear();
  s.LinkRevision.clear();
}

}  // namespace core

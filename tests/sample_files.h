// Tests that need files from outside the source tree (the shared samples beside it). Without
// them a developer's run skips such a test; a CI run (CI=true), where the samples are always
// there, fails it, so that a moved or missing sample never passes green.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

namespace kvtest {

inline bool InContinuousIntegration() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string_view(ci) == "true";
}

}  // namespace kvtest

// Ends the test for want of samples: a failure in CI, a skip elsewhere. Usable in a test body
// or in a fixture's SetUp (whose failure skips the body).
#define KV_MISSING_SAMPLES(message)                            \
  do {                                                         \
    if (::kvtest::InContinuousIntegration()) {                 \
      FAIL() << message << " (a CI run always has the samples)"; \
    } else {                                                   \
      GTEST_SKIP() << message;                                 \
    }                                                          \
  } while (0)

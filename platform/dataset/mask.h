// File-name masks as used by the filter's LIKE: "*" any run of characters, "?" any one
// character (also right after a "*"), "[abc]" and "[a-z]" one character of a set, "[!a-z]" one
// character not in it. Letters match without regard to case (ASCII). The shared mask engine
// (platform/wildcard_mask.h) matches them.
#pragma once

#include <string>

#include "platform/wildcard_mask.h"

namespace dataset {

using MaskError = platform::WildcardMaskError;

// Raises MaskError for an invalid mask (a set that is not closed, or empty).
bool MatchesMask(const std::string& text, const std::string& mask);

}  // namespace dataset

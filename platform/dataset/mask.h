// File-name masks as used by the filter's LIKE: "*" any run of characters, "?" any one
// character, "[abc]" and "[a-z]" one character of a set, "[!a-z]" one character not in
// it. Letters match without regard to case (ASCII).
#pragma once

#include <stdexcept>
#include <string>

namespace dataset {

class MaskError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raises MaskError for a set that is not closed.
bool MatchesMask(const std::string& text, const std::string& mask);

}  // namespace dataset

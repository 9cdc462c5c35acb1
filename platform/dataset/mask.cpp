#include "platform/dataset/mask.h"

namespace dataset {

bool MatchesMask(const std::string& text, const std::string& mask) {
  platform::WildcardRules rules;
  rules.dropQuestionAfterStar = false;
  return platform::WildcardMask(mask, rules).Matches(text);
}

}  // namespace dataset

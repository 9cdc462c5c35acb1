#include "core/compare.h"

#include <cmath>

#include "core/texts.h"

namespace core {

bool ValuesDiffer(float a, float b) {
  return std::fabs(static_cast<long double>(a) - static_cast<long double>(b)) > 0.0001L;
}

namespace {

CompareRecord LineOf(const ParameterDefinition& source) {
  CompareRecord r;
  r.transferGroup = source.transferGroup;
  r.displayGroup = source.displayGroup;
  r.decimals = source.decimals;
  r.defaultValue = source.defaultValue;
  r.values = {source.value, 0.0f, 0.0f};
  r.code = source.code;
  r.unit = source.unit;
  r.descriptions = source.descriptions;
  return r;
}

}  // namespace

std::vector<CompareRecord> CompareWithDefaults(const std::vector<ParameterDefinition>& readValues) {
  std::vector<CompareRecord> out;
  for (const auto& read : readValues) {
    float def;
    if (!FindDefault(read.code.view(), read.transferGroup, read.model, def)) continue;
    if (!ValuesDiffer(read.value, def)) continue;
    CompareRecord line = LineOf(read);
    line.defaultValue = def;
    out.push_back(line);
  }
  return out;
}

std::vector<CompareRecord> CompareFileWithFile(const std::vector<ParameterDefinition>& file1,
                                               const std::vector<ParameterDefinition>& file2) {
  std::vector<CompareRecord> out;
  for (const auto& rec : file1) {
    float other;
    if (!FindInRecords(rec.code.view(), file2, other) || !ValuesDiffer(rec.value, other)) continue;
    CompareRecord line = LineOf(rec);
    line.values[1] = other;
    out.push_back(line);
  }
  return out;
}

std::vector<CompareRecord> CompareFilesWithDefaults(const std::vector<ParameterDefinition>& file1,
                                                    const std::vector<ParameterDefinition>& file2,
                                                    const std::vector<ParameterDefinition>& file3) {
  std::vector<CompareRecord> out;
  for (const auto& rec : file1) {
    float v2 = AbsentValue(), v3 = AbsentValue();
    bool has2 = FindInRecords(rec.code.view(), file2, v2);
    bool has3 = FindInRecords(rec.code.view(), file3, v3);
    if (!has2) v2 = AbsentValue();
    if (!has3) v3 = AbsentValue();
    bool differs = ValuesDiffer(rec.value, rec.defaultValue) || (has2 && ValuesDiffer(v2, rec.defaultValue)) ||
                   (has3 && ValuesDiffer(v3, rec.defaultValue));
    if (!differs) continue;
    CompareRecord line = LineOf(rec);
    line.values[1] = v2;
    line.values[2] = v3;
    out.push_back(line);
  }
  return out;
}

}  // namespace core

// Building compare documents: a drive's values against the defaults, one parameter file
// against another, and up to three files against the defaults.
#pragma once

#include <vector>

#include "core/common.h"

namespace core {

// Two values differ when they are more than 0.0001 apart.
bool ValuesDiffer(float a, float b);

// Values read from a drive against the defaults of their own model's definitions; values
// whose definition has no default in the configuration are left out.
std::vector<CompareRecord> CompareWithDefaults(const std::vector<ParameterDefinition>& readValues);

// File 1 against file 2: the records of file 1 whose code file 2 has with another value.
std::vector<CompareRecord> CompareFileWithFile(const std::vector<ParameterDefinition>& file1,
                                               const std::vector<ParameterDefinition>& file2);

// File 1 (and files 2 and 3, which may be empty) against file 1's defaults; a value a file
// lacks is absent (NaN).
std::vector<CompareRecord> CompareFilesWithDefaults(const std::vector<ParameterDefinition>& file1,
                                                    const std::vector<ParameterDefinition>& file2,
                                                    const std::vector<ParameterDefinition>& file3);

}  // namespace core

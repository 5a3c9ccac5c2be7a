// The benchmark's two outputs: a table for the terminal and one JSON document
// with every figure, so that two runs can be compared.
#pragma once

#include <string>

#include "figures.h"

namespace bench {

void PrintReport(const Report& report);

// False when the file cannot be written.
bool WriteJson(const Report& report, const std::string& path);

}  // namespace bench

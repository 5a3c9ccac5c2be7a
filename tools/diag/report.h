// The doctor's report: one line per check, OK / WARN / FAIL, what was found
// and, for every WARN and FAIL, one sentence of remedy. Printed as text for a
// person or as one JSON document for scripts and support tickets. A check's
// id and verdict are the same in every language; its texts are UTF-8 in the
// language the doctor speaks (language.h).
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "language.h"
#include "text.h"

namespace zelkdiag {

enum class Verdict { kOk, kWarn, kFail };

struct Check {
  std::string id;     // stable name for scripts, e.g. "registration-64"
  std::string title;  // what the text line says before the colon
  Verdict verdict = Verdict::kOk;
  std::string found;
  std::string remedy;                // empty for OK
  std::vector<std::string> details;  // further lines: the devices, the module's trace
};

class Report {
 public:
  Check& Ok(std::string id, const Text& title, const Text& found);
  Check& Warn(std::string id, const Text& title, const Text& found, const Text& remedy);
  Check& Fail(std::string id, const Text& title, const Text& found, const Text& remedy);
  // A line without a verdict, printed where it was added.
  void Note(const Text& text);

  bool Failed() const;
  const std::vector<Check>& Checks() const { return checks_; }

  // The report in the current language, UTF-8.
  std::string AsText() const;
  std::string AsJson() const;

 private:
  Check& Add(Verdict verdict, std::string id, const Text& title, const Text& found,
             const Text& remedy);

  std::vector<Check> checks_;
  std::vector<std::pair<size_t, std::string>> notes_;  // before check number `first`
};

using zelktext::DescribeResult;
using zelktext::Narrow;

}  // namespace zelkdiag

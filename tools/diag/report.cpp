#include "report.h"

#include <utility>

namespace zelkdiag {
namespace {

// The verdict as scripts read it (JSON) and as a person reads it (text).
constexpr const char* kVerdictCodes[] = {"OK", "WARN", "FAIL"};
constexpr UINT kVerdictMessages[] = {MSG_VERDICT_OK, MSG_VERDICT_WARN, MSG_VERDICT_FAIL};
static_assert(sizeof kVerdictCodes / sizeof kVerdictCodes[0] == sizeof kVerdictMessages / sizeof kVerdictMessages[0],
              "a code and a word for every verdict");
constexpr size_t kVerdictColumns = 6;  // the verdict column, in console columns
const std::string kIndent(kVerdictColumns, ' ');

const char* VerdictCode(Verdict verdict) { return kVerdictCodes[static_cast<int>(verdict)]; }

// The columns UTF-8 text takes in a console: East Asian characters take two.
size_t Columns(const std::string& utf8) {
  size_t columns = 0;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(utf8[i]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte
    columns += byte >= 0xE1 ? 2 : 1;      // U+1000 and up, roughly where wide characters begin
  }
  return columns;
}

// The verdict word padded to the verdict column.
std::string VerdictColumn(Verdict verdict) {
  std::string word = Say(kVerdictMessages[static_cast<int>(verdict)]).utf8;
  const size_t columns = Columns(word);
  return word + std::string(columns < kVerdictColumns ? kVerdictColumns - columns : 1, ' ');
}

std::string Quoted(const std::string& utf8) { return zelktext::JsonString(utf8); }

std::string QuotedList(const std::vector<std::string>& items, const char* indent) {
  if (items.empty()) return "[]";
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i ? ",\n" : "\n") + std::string(indent) + "  " + Quoted(items[i]);
  return out + "\n" + indent + "]";
}

}  // namespace

Check& Report::Add(Verdict verdict, std::string id, const Text& title, const Text& found, const Text& remedy) {
  checks_.push_back({std::move(id), title.utf8, verdict, found.utf8, remedy.utf8, {}});
  return checks_.back();
}

Check& Report::Ok(std::string id, const Text& title, const Text& found) {
  return Add(Verdict::kOk, std::move(id), title, found, {});
}

Check& Report::Warn(std::string id, const Text& title, const Text& found, const Text& remedy) {
  return Add(Verdict::kWarn, std::move(id), title, found, remedy);
}

Check& Report::Fail(std::string id, const Text& title, const Text& found, const Text& remedy) {
  return Add(Verdict::kFail, std::move(id), title, found, remedy);
}

void Report::Note(const Text& text) { notes_.emplace_back(checks_.size(), text.utf8); }

bool Report::Failed() const {
  for (const Check& check : checks_)
    if (check.verdict == Verdict::kFail) return true;
  return false;
}

std::string Report::AsText() const {
  int counts[3] = {};
  size_t note = 0;
  std::string out;
  const std::string remedyLabel = Say(MSG_REMEDY_LABEL).utf8;
  for (size_t i = 0; i <= checks_.size(); ++i) {
    for (; note < notes_.size() && notes_[note].first == i; ++note) out += notes_[note].second + "\n";
    if (i == checks_.size()) break;
    const Check& check = checks_[i];
    ++counts[static_cast<int>(check.verdict)];
    out += VerdictColumn(check.verdict) + check.title + ": " + check.found + "\n";
    for (const std::string& detail : check.details) out += kIndent + "- " + detail + "\n";
    if (!check.remedy.empty()) out += kIndent + remedyLabel + check.remedy + "\n";
  }
  return out + Say(MSG_SUMMARY, {std::to_string(counts[0]), std::to_string(counts[1]), std::to_string(counts[2])})
                   .utf8 +
         "\n";
}

std::string Report::AsJson() const {
  int counts[3] = {};
  std::vector<std::string> notes;
  for (const auto& note : notes_) notes.push_back(note.second);
  std::string out = "{\n  \"tool\": \"zelkdiag\",\n  \"bits\": " + std::to_string(sizeof(void*) * 8) +
                    ",\n  \"language\": " + Quoted(CurrentLanguage().code) + ",\n  \"notes\": " +
                    QuotedList(notes, "  ") + ",\n  \"checks\": [";
  for (size_t i = 0; i < checks_.size(); ++i) {
    const Check& check = checks_[i];
    ++counts[static_cast<int>(check.verdict)];
    out += std::string(i ? "," : "") + "\n    {\n      \"id\": " + Quoted(check.id) +
           ",\n      \"title\": " + Quoted(check.title) + ",\n      \"verdict\": \"" + VerdictCode(check.verdict) +
           "\",\n      \"found\": " + Quoted(check.found) + ",\n      \"remedy\": " + Quoted(check.remedy) +
           ",\n      \"details\": " + QuotedList(check.details, "      ") + "\n    }";
  }
  return out + "\n  ],\n  \"summary\": {\"ok\": " + std::to_string(counts[0]) +
         ", \"warn\": " + std::to_string(counts[1]) + ", \"fail\": " + std::to_string(counts[2]) +
         "},\n  \"exitCode\": " + (Failed() ? "1" : "0") + "\n}\n";
}

}  // namespace zelkdiag

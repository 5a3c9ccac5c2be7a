#include "report.h"

#include <utility>

namespace zelkdiag {
namespace {

constexpr const char* kVerdictNames[] = {"OK", "WARN", "FAIL"};
constexpr char kIndent[] = "      ";  // under the verdict column

const char* VerdictName(Verdict verdict) { return kVerdictNames[static_cast<int>(verdict)]; }

// ANSI code page text as UTF-8.
std::string Utf8(const std::string& ansi) {
  if (ansi.empty()) return {};
  const int wideLength = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], wideLength);
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &utf8[0], length, nullptr, nullptr);
  return utf8;
}

// A JSON string literal of ANSI text.
std::string Quoted(const std::string& ansi) { return zelktext::JsonString(Utf8(ansi)); }

std::string QuotedList(const std::vector<std::string>& items, const char* indent) {
  if (items.empty()) return "[]";
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i ? ",\n" : "\n") + std::string(indent) + "  " + Quoted(items[i]);
  return out + "\n" + indent + "]";
}

}  // namespace

Check& Report::Add(Verdict verdict, std::string id, std::string title, std::string found, std::string remedy) {
  checks_.push_back({std::move(id), std::move(title), verdict, std::move(found), std::move(remedy), {}});
  return checks_.back();
}

Check& Report::Ok(std::string id, std::string title, std::string found) {
  return Add(Verdict::kOk, std::move(id), std::move(title), std::move(found), {});
}

Check& Report::Warn(std::string id, std::string title, std::string found, std::string remedy) {
  return Add(Verdict::kWarn, std::move(id), std::move(title), std::move(found), std::move(remedy));
}

Check& Report::Fail(std::string id, std::string title, std::string found, std::string remedy) {
  return Add(Verdict::kFail, std::move(id), std::move(title), std::move(found), std::move(remedy));
}

void Report::Note(std::string text) { notes_.emplace_back(checks_.size(), std::move(text)); }

bool Report::Failed() const {
  for (const Check& check : checks_)
    if (check.verdict == Verdict::kFail) return true;
  return false;
}

void Report::PrintText(std::FILE* out) const {
  int counts[3] = {};
  size_t note = 0;
  for (size_t i = 0; i <= checks_.size(); ++i) {
    for (; note < notes_.size() && notes_[note].first == i; ++note) {
      std::fprintf(out, "%s\n", notes_[note].second.c_str());
    }
    if (i == checks_.size()) break;
    const Check& check = checks_[i];
    ++counts[static_cast<int>(check.verdict)];
    std::fprintf(out, "%-6s%s: %s\n", VerdictName(check.verdict), check.title.c_str(), check.found.c_str());
    for (const std::string& detail : check.details) std::fprintf(out, "%s- %s\n", kIndent, detail.c_str());
    if (!check.remedy.empty()) std::fprintf(out, "%sremedy: %s\n", kIndent, check.remedy.c_str());
  }
  std::fprintf(out, "Summary: %d OK, %d WARN, %d FAIL\n", counts[0], counts[1], counts[2]);
}

void Report::PrintJson(std::FILE* out) const {
  int counts[3] = {};
  std::vector<std::string> notes;
  for (const auto& note : notes_) notes.push_back(note.second);
  std::fprintf(out, "{\n  \"tool\": \"zelkdiag\",\n  \"bits\": %d,\n  \"notes\": %s,\n  \"checks\": [",
               static_cast<int>(sizeof(void*) * 8), QuotedList(notes, "  ").c_str());
  for (size_t i = 0; i < checks_.size(); ++i) {
    const Check& check = checks_[i];
    ++counts[static_cast<int>(check.verdict)];
    std::fprintf(out,
                 "%s\n    {\n      \"id\": %s,\n      \"title\": %s,\n      \"verdict\": \"%s\",\n"
                 "      \"found\": %s,\n      \"remedy\": %s,\n      \"details\": %s\n    }",
                 i ? "," : "", Quoted(check.id).c_str(), Quoted(check.title).c_str(), VerdictName(check.verdict),
                 Quoted(check.found).c_str(), Quoted(check.remedy).c_str(),
                 QuotedList(check.details, "      ").c_str());
  }
  std::fprintf(out, "\n  ],\n  \"summary\": {\"ok\": %d, \"warn\": %d, \"fail\": %d},\n  \"exitCode\": %d\n}\n",
               counts[0], counts[1], counts[2], Failed() ? 1 : 0);
}

}  // namespace zelkdiag

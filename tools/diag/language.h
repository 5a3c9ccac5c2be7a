// The language the doctor speaks and its messages. Each language is a string
// table in the program's resources (strings_xx.rc), found by its language id
// the way the system finds a program's resources for the UI language. English
// is the reference; a message missing from another table falls back to it.
//
// Texts come in two kinds here: what the system hands out (paths, device
// names, the system's error texts) is in the ANSI code page; the report is
// UTF-8, so that it can hold Japanese on any Windows. `Text` is report text;
// a plain std::string given to Say is system text and converted.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

#include "messages.h"

namespace zelkdiag {

struct Language {
  const char* code;  // for --lang
  LANGID id;         // of the string table
};

// A further language: one more row here and one more string table.
constexpr Language kLanguages[] = {
    {"en", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)},  // first: the reference and the fallback
    {"ja", MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN)},
};
static_assert(sizeof kLanguages / sizeof kLanguages[0] == 2, "one string table per language");

// The language with that code; false, leaving the choice alone, for a code
// without a table.
bool ChooseLanguage(const std::string& code);
// The language of the user's Windows UI; English where it has no table.
void ChooseUserLanguage();
const Language& CurrentLanguage();
// "en, ja": the codes --lang takes.
std::string LanguageCodes();

// Report text, UTF-8.
struct Text {
  std::string utf8;
};

// System text (ANSI code page) as report text, unchanged in meaning.
Text Verbatim(const std::string& ansi);
// System text as UTF-8.
std::string Utf8FromAnsi(const std::string& ansi);

// One argument of a message: report text as it is, system text converted.
class Arg {
 public:
  Arg(const Text& text) : utf8_(text.utf8) {}                       // NOLINT: implicit by design
  Arg(const std::string& ansi) : utf8_(Utf8FromAnsi(ansi)) {}       // NOLINT
  Arg(const char* ansi) : utf8_(Utf8FromAnsi(ansi ? ansi : "")) {}  // NOLINT
  const std::string& Utf8() const { return utf8_; }

 private:
  std::string utf8_;
};

// Message `id` in the current language, its {1}..{9} replaced by `args`.
Text Say(UINT id, std::initializer_list<Arg> args = {});

}  // namespace zelkdiag

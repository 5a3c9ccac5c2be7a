#include "language.h"

#include <vector>

namespace zelkdiag {
namespace {

const Language* current = &kLanguages[0];

std::string Utf8(const wchar_t* text, int length) {
  if (length <= 0) return {};
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], bytes, nullptr, nullptr);
  return utf8;
}

// A string of the program's string table in one language, or false. The
// table is stored in blocks of 16 strings, block n+1 holding the ids 16n to
// 16n+15; each string is its length in UTF-16 units followed by the units,
// an absent string has length 0.
bool LoadMessage(UINT id, LANGID language, std::wstring& text) {
  const HRSRC block = FindResourceExW(nullptr, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
  if (!block) return false;
  const HGLOBAL loaded = LoadResource(nullptr, block);
  const auto* data = static_cast<const WCHAR*>(loaded ? LockResource(loaded) : nullptr);
  if (!data) return false;
  const WCHAR* const end = data + SizeofResource(nullptr, block) / sizeof(WCHAR);
  for (UINT i = 0; i < id % 16 && data < end; ++i) data += 1 + *data;
  if (data >= end || *data == 0 || data + 1 + *data > end) return false;
  text.assign(data + 1, *data);
  return true;
}

}  // namespace

bool ChooseLanguage(const std::string& code) {
  for (const Language& language : kLanguages) {
    if (code == language.code) {
      current = &language;
      return true;
    }
  }
  return false;
}

void ChooseUserLanguage() {
  const LANGID ui = GetUserDefaultUILanguage();
  current = &kLanguages[0];
  for (const Language& language : kLanguages) {
    if (PRIMARYLANGID(language.id) == PRIMARYLANGID(ui)) current = &language;
  }
}

const Language& CurrentLanguage() { return *current; }

std::string LanguageCodes() {
  std::string codes;
  for (const Language& language : kLanguages) codes += (codes.empty() ? "" : ", ") + std::string(language.code);
  return codes;
}

std::string Utf8FromAnsi(const std::string& ansi) {
  if (ansi.empty()) return {};
  const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], length);
  return Utf8(wide.data(), length);
}

Text Verbatim(const std::string& ansi) { return {Utf8FromAnsi(ansi)}; }

Text Say(UINT id, std::initializer_list<Arg> args) {
  std::wstring wide;
  if (!LoadMessage(id, current->id, wide) && !LoadMessage(id, kLanguages[0].id, wide)) {
    return {"(message " + std::to_string(id) + ")"};
  }
  const std::string message = Utf8(wide.data(), static_cast<int>(wide.size()));
  const std::vector<Arg> values(args);
  std::string text;
  for (size_t i = 0; i < message.size(); ++i) {
    const size_t n = i + 2 < message.size() && message[i] == '{' && message[i + 2] == '}' ? message[i + 1] - '1' : 9;
    if (n < values.size()) {
      text += values[n].Utf8();
      i += 2;
    } else {
      text += message[i];
    }
  }
  return {text};
}

}  // namespace zelkdiag

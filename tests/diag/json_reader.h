// A small JSON reader for the tests that parse a program's --json output back.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zelk::test {

struct Json {
  enum class Type { kNull, kBool, kNumber, kString, kArray, kObject };
  Type type = Type::kNull;
  bool boolean = false;
  double number = 0;
  std::string text;  // UTF-8
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;

  // The member of that name; a null value when there is none.
  const Json& operator[](const std::string& name) const;
};

// False when `text` is not exactly one JSON value (white space around it allowed).
bool ParseJson(const std::string& text, Json& value);

}  // namespace zelk::test

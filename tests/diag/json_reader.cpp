#include "json_reader.h"

#include <cstdlib>
#include <cstring>

namespace zelk::test {
namespace {

// The character a one-letter escape stands for, or null.
const char* Unescaped(char letter) {
  static const char kPairs[] = "\"\"\\\\//b\bf\fn\nr\rt\t";
  for (const char* pair = kPairs; *pair; pair += 2)
    if (*pair == letter) return pair + 1;
  return nullptr;
}

class Reader {
 public:
  explicit Reader(const std::string& text) : at_(text.c_str()), end_(text.c_str() + text.size()) {}

  bool Document(Json& value) { return Value(value) && (Space(), at_ == end_); }

 private:
  void Space() {
    while (at_ < end_ && std::strchr(" \t\r\n", *at_)) ++at_;
  }
  bool Literal(const char* word) {
    const size_t length = std::strlen(word);
    if (static_cast<size_t>(end_ - at_) < length || std::strncmp(at_, word, length) != 0) return false;
    at_ += length;
    return true;
  }
  bool Value(Json& value) {
    Space();
    if (at_ == end_) return false;
    switch (*at_) {
      case '{':
        return Object(value);
      case '[':
        return Array(value);
      case '"':
        value.type = Json::Type::kString;
        return String(value.text);
      case 't':
        value.type = Json::Type::kBool;
        value.boolean = true;
        return Literal("true");
      case 'f':
        value.type = Json::Type::kBool;
        return Literal("false");
      case 'n':
        return Literal("null");
      default: {
        char* after = nullptr;
        value.type = Json::Type::kNumber;
        value.number = std::strtod(at_, &after);
        if (after == at_) return false;
        at_ = after;
        return true;
      }
    }
  }
  bool String(std::string& text) {
    for (++at_; at_ < end_ && *at_ != '"'; ++at_) {
      if (static_cast<unsigned char>(*at_) < 0x20) return false;
      if (*at_ != '\\') {
        text += *at_;
        continue;
      }
      if (++at_ == end_) return false;
      if (*at_ == 'u') {
        if (!Unicode(text)) return false;
        continue;
      }
      const char* unescaped = Unescaped(*at_);
      if (!unescaped) return false;
      text += *unescaped;
    }
    if (at_ == end_) return false;
    ++at_;
    return true;
  }
  // \uXXXX (at the 'u') as UTF-8.
  bool Unicode(std::string& text) {
    if (end_ - at_ <= 4) return false;
    const unsigned code = static_cast<unsigned>(std::strtoul(std::string(at_ + 1, 4).c_str(), nullptr, 16));
    at_ += 4;
    if (code < 0x80) {
      text += static_cast<char>(code);
    } else if (code < 0x800) {
      text += static_cast<char>(0xC0 | code >> 6);
      text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      text += static_cast<char>(0xE0 | code >> 12);
      text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (code & 0x3F));
    }
    return true;
  }
  template <typename ReadItem>
  bool Sequence(char close, ReadItem readItem) {
    ++at_;
    Space();
    if (at_ < end_ && *at_ == close) return ++at_, true;
    for (;;) {
      if (!readItem()) return false;
      Space();
      if (at_ == end_) return false;
      if (*at_++ == close) return true;
      if (at_[-1] != ',') return false;
    }
  }
  bool Array(Json& value) {
    value.type = Json::Type::kArray;
    return Sequence(']', [&] {
      value.items.emplace_back();
      return Value(value.items.back());
    });
  }
  bool Object(Json& value) {
    value.type = Json::Type::kObject;
    return Sequence('}', [&] {
      Space();
      value.members.emplace_back();
      if (at_ == end_ || *at_ != '"' || !String(value.members.back().first)) return false;
      Space();
      return at_ < end_ && *at_++ == ':' && Value(value.members.back().second);
    });
  }

  const char* at_;
  const char* const end_;
};

}  // namespace

const Json& Json::operator[](const std::string& name) const {
  static const Json kNull;
  for (const auto& member : members)
    if (member.first == name) return member.second;
  return kNull;
}

bool ParseJson(const std::string& text, Json& value) {
  value = Json();
  return Reader(text).Document(value);
}

}  // namespace zelk::test

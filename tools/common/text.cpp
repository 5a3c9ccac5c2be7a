#include "text.h"

#include <cstdio>

#include "zelk/encoder_module.h"

namespace zelktext {
namespace {

struct NamedResult {
  HRESULT hr;
  const char* name;
};

// The module's own codes, which the system has no text for, and the common
// failures by the names a developer looks them up under.
constexpr NamedResult kNames[] = {
    {E_FAIL, "E_FAIL"},
    {E_POINTER, "E_POINTER"},
    {E_INVALIDARG, "E_INVALIDARG"},
    {E_NOTIMPL, "E_NOTIMPL"},
    {E_NOINTERFACE, "E_NOINTERFACE"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
    {REGDB_E_CLASSNOTREG, "class not registered"},
    {ZELK_INVALID_PARAMETER, "invalid parameter (87)"},
    {ZELK_E_NO_CAPTURE_FILTER, "no capture filter attached, or it has no property interface"},
    {ZELK_E_GRAPH_RUN_TIMEOUT, "the graph did not start"},
    {ZELK_ENC_ERROR_GENERAL, "encoder error"},
    {ZELK_ENC_ERROR_FLAG2, "encoder error (flag 2)"},
    {ZELK_ENC_ERROR_DETAIL, "encoder error (detail)"},
};

std::string SystemText(HRESULT hr) {
  char* message = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(hr), 0, reinterpret_cast<char*>(&message), 0, nullptr);
  if (!length || !message) return {};
  std::string text(message, length);
  LocalFree(message);
  text.erase(text.find_last_not_of(" .\r\n") + 1);
  return text;
}

}  // namespace

std::string DescribeResult(HRESULT hr) {
  if (hr == S_OK) return "S_OK";
  if (hr == S_FALSE) return "S_FALSE";
  char number[16];
  std::snprintf(number, sizeof number, "0x%08lX", static_cast<unsigned long>(hr));
  const std::string text = number;
  for (const NamedResult& named : kNames) {
    if (named.hr == hr) return text + " (" + named.name + ")";
  }
  const std::string system = SystemText(hr);
  return system.empty() ? text : text + " (" + system + ")";
}

std::string Narrow(const wchar_t* text) {
  if (!text || !text[0]) return {};
  const int length = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, &narrow[0], length, nullptr, nullptr);
  narrow.resize(static_cast<size_t>(length) - 1);
  return narrow;
}

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace zelktext

#include "hresult_text.h"

#include "report.h"
#include "zelk/encoder_module.h"

namespace zelkhost {
namespace {

struct NamedResult {
  HRESULT hr;
  const char* name;
};

constexpr NamedResult kNames[] = {
    {S_OK, "S_OK"},
    {S_FALSE, "S_FALSE"},
    {E_FAIL, "E_FAIL"},
    {E_POINTER, "E_POINTER"},
    {E_INVALIDARG, "E_INVALIDARG"},
    {E_NOTIMPL, "E_NOTIMPL"},
    {E_NOINTERFACE, "E_NOINTERFACE"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
    {REGDB_E_CLASSNOTREG, "class not registered"},
    {ZELK_INVALID_PARAMETER, "invalid parameter (87)"},
    {ZELK_E_NO_CAPTURE_FILTER, "no capture filter attached"},
    {ZELK_E_GRAPH_RUN_TIMEOUT, "graph did not start"},
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
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

}  // namespace

std::string DescribeResult(HRESULT hr) {
  std::string text = Format("0x%08lX", static_cast<unsigned long>(hr));
  for (const NamedResult& named : kNames)
    if (named.hr == hr) return text + " (" + named.name + ")";
  const std::string system = SystemText(hr);
  return system.empty() ? text : text + " (" + system + ")";
}

}  // namespace zelkhost

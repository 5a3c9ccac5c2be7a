// Text that the demo host, the benchmark and the doctor write alike: result
// codes for a reader, UTF-16 in the ANSI code page, JSON string literals.
#pragma once

#include <windows.h>

#include <string>

namespace zelktext {

// "S_OK", "S_FALSE", or the code with its meaning: "0x80004005 (E_FAIL)", the
// module's own codes by what they mean, others with the system's text.
std::string DescribeResult(HRESULT hr);

// UTF-16 text in the ANSI code page; empty for a null pointer.
std::string Narrow(const wchar_t* text);
inline std::string Narrow(const std::wstring& text) { return Narrow(text.c_str()); }

// A JSON string literal of UTF-8 text, quotes included.
std::string JsonString(const std::string& utf8);

}  // namespace zelktext

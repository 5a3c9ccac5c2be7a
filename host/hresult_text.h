// Result codes as a reader wants them: the number and what it means.
#pragma once

#include <windows.h>

#include <string>

namespace zelkhost {

// "0x80004005 (E_FAIL)", or the number with the system's text for it.
std::string DescribeResult(HRESULT hr);

}  // namespace zelkhost

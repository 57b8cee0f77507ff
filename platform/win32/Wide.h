#pragma once

#include <string>

namespace tovira::win32 {

// The one place where text crosses between the portable UTF-8 and the wide Windows calls.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

} // namespace tovira::win32

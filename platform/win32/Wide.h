#pragma once

#include <string>

namespace tovira::win32 {

// The one place where text crosses between the portable UTF-8 and the wide Windows calls.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

// Text for DrawTextW, static controls and message boxes: the program's lone CR breaks become CR LF, which all of
// them break on.
std::wstring DisplayText(const std::string& text);

} // namespace tovira::win32

#pragma once

#include <string>

namespace tovira::win32 {

// The file calls take a path of any length in the "\\?\" forms. The shell takes no such form and at most MAX_PATH
// characters, so a longer path reaches it in its 8.3 form where the volume keeps one; so does program start, which
// takes that form with the prefix too.

// The path as it stands while it is short enough for every file call; else absolute and normalised (doubled
// backslashes and "..\" resolved, as Windows does for shorter paths) in the form "\\?\D:\..." or
// "\\?\UNC\server\share\...".
std::wstring LongPathForm(const std::wstring& path);

// For the shell: the path as it stands while it is shorter than MAX_PATH; else its 8.3 form when that is shorter,
// and else the path as it stands again, for a Windows that takes long paths everywhere.
std::wstring ShortPathForm(const std::wstring& path);

// For the program that CreateProcess starts: the path as it stands while it is shorter than MAX_PATH; else its
// 8.3 form, or where there is none its long-path form, with the "\\?\" prefix.
std::wstring StartablePath(const std::wstring& path);

// The path without a "\\?\" or "\\?\UNC\" prefix.
std::wstring WithoutLongPathPrefix(std::wstring path);

} // namespace tovira::win32

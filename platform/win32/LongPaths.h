#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

namespace tovira::win32 {

// A path from a call that writes it into a buffer, which grows until the path fits: some calls answer the length
// they need, others fill the buffer and cut the path short. Empty when the call fails, or when the path would be
// longer than any that Windows takes (the last error then says so).
template <typename Query> std::wstring AskForPath(Query&& query, size_t guess = MAX_PATH) {
    constexpr size_t kLongestPath = 32768;
    std::wstring path(guess, L'\0');
    for (;;) {
        const DWORD length = query(path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= kLongestPath) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return {};
        }
        path.resize(std::max<size_t>(length, path.size() * 2));
    }
}

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

#include "platform/win32/LongPaths.h"

#include <windows.h>

namespace tovira::win32 {

namespace {

const std::wstring kLongPrefix = L"\\\\?\\";
const std::wstring kLongUncPrefix = L"\\\\?\\UNC\\";
const std::wstring kDevicePrefix = L"\\\\.\\";
// A folder's path must leave room for an 8.3 name, so folder calls stop 12 characters short of MAX_PATH.
constexpr size_t kLongestPlainPath = MAX_PATH - 12;

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The 8.3 form of a path of MAX_PATH characters or more, with the "\\?\" prefix; empty when the file is not there.
std::wstring PrefixedShortForm(const std::wstring& path) {
    const std::wstring longForm = LongPathForm(path);
    return AskForPath([&](wchar_t* buffer, DWORD size) { return GetShortPathNameW(longForm.c_str(), buffer, size); },
                      MAX_PATH);
}

} // namespace

std::wstring LongPathForm(const std::wstring& path) {
    if (path.size() < kLongestPlainPath || StartsWith(path, kLongPrefix) || StartsWith(path, kDevicePrefix)) {
        return path;
    }
    const std::wstring full =
        AskForPath([&](wchar_t* buffer, DWORD size) { return GetFullPathNameW(path.c_str(), size, buffer, nullptr); },
                   path.size() + 1);
    if (full.empty()) {
        return path; // the call that gets it reports what is wrong with it
    }
    // Appended, not joined with +, which would take a larger part of the C++ library into the program.
    const bool unc = StartsWith(full, L"\\\\");
    std::wstring prefixed = unc ? kLongUncPrefix : kLongPrefix;
    prefixed.append(full, unc ? 2 : 0);
    return prefixed;
}

std::wstring ShortPathForm(const std::wstring& path) {
    if (path.size() < MAX_PATH) {
        return path;
    }
    const std::wstring shortForm = WithoutLongPathPrefix(PrefixedShortForm(path));
    return !shortForm.empty() && shortForm.size() < MAX_PATH ? shortForm : path;
}

// Wine reads the program's path back into MAX_PATH characters, unless it has the prefix; Windows takes either.
std::wstring StartablePath(const std::wstring& path) {
    if (path.size() < MAX_PATH) {
        return path;
    }
    const std::wstring shortForm = PrefixedShortForm(path);
    return !shortForm.empty() ? shortForm : LongPathForm(path);
}

std::wstring WithoutLongPathPrefix(std::wstring path) {
    if (StartsWith(path, kLongUncPrefix)) {
        return std::wstring(L"\\\\").append(path, kLongUncPrefix.size());
    }
    if (StartsWith(path, kLongPrefix)) {
        path.erase(0, kLongPrefix.size());
    }
    return path;
}

} // namespace tovira::win32

#pragma once

#include <string>

namespace tovira {

// Line breaks inside the program's messages are a lone carriage return.
inline constexpr char kCR = '\r';

inline bool EndsWithBackslash(const std::string& text) {
    return !text.empty() && text.back() == '\\';
}

// Joins a file name to a folder with a backslash only where the folder lacks one (a drive root keeps one).
inline std::string JoinPath(const std::string& folder, const std::string& name) {
    return EndsWithBackslash(folder) ? folder + name : folder + "\\" + name;
}

// Puts a path in quotation marks for a command line, so that spaces cannot split it into words.
inline std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

} // namespace tovira

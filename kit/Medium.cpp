#include "kit/Medium.h"

#include <algorithm>

namespace tovira::kit {

namespace fs = std::filesystem;

std::optional<std::int64_t> FixedTime(const MediumPlan& plan) {
    const std::string& text = plan.sourceDateEpoch;
    if (text.empty() || text.size() > 12 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return std::stoll(text);
}

std::string Quoted(const fs::path& path) {
    return "\"" + path.string() + "\"";
}

std::string FileError(const fs::filesystem_error& error) {
    std::string line = "the file system refused ";
    line += error.path1().empty() ? "a path" : Quoted(error.path1());
    return line + ": " + error.code().message();
}

} // namespace tovira::kit

#include "kit/Tool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>

extern char** environ;

namespace tovira::kit {

namespace fs = std::filesystem;

fs::path FindTool(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const fs::path candidate = fs::path(folder.empty() ? "." : folder) / name;
        std::error_code ignored;
        if (fs::is_regular_file(candidate, ignored) && access(candidate.c_str(), X_OK) == 0) {
            return fs::absolute(candidate, ignored);
        }
    }
    return {};
}

namespace {

// Owns the two ends of a pipe and the spawn's file actions, so that every exit path closes them.
struct Plumbing {
    int pipe[2] = {-1, -1};
    posix_spawn_file_actions_t actions{};
    Plumbing() {
        posix_spawn_file_actions_init(&actions);
        if (::pipe2(pipe, O_CLOEXEC) != 0) {
            pipe[0] = pipe[1] = -1;
        }
    }
    ~Plumbing() {
        posix_spawn_file_actions_destroy(&actions);
        CloseWriteEnd();
        if (pipe[0] >= 0) {
            close(pipe[0]);
        }
    }
    void CloseWriteEnd() {
        if (pipe[1] >= 0) {
            close(pipe[1]);
            pipe[1] = -1;
        }
    }
};

} // namespace

ToolResult RunTool(const std::string& name, const std::vector<std::string>& args) {
    const fs::path program = FindTool(name);
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    ToolResult result;
    Plumbing plumbing;
    if (plumbing.pipe[0] < 0) {
        return result;
    }
    posix_spawn_file_actions_addopen(&plumbing.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&plumbing.actions, plumbing.pipe[1], 1);
    posix_spawn_file_actions_adddup2(&plumbing.actions, plumbing.pipe[1], 2);
    pid_t child = 0;
    if (posix_spawn(&child, program.c_str(), &plumbing.actions, nullptr, argv.data(), environ) != 0) {
        return result;
    }
    plumbing.CloseWriteEnd();
    char buffer[4096];
    for (ssize_t got; (got = read(plumbing.pipe[0], buffer, sizeof buffer)) != 0;) {
        if (got > 0) {
            result.output.append(buffer, static_cast<std::size_t>(got));
        } else if (errno != EINTR) {
            break;
        }
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string Reason(const std::string& output) {
    std::istringstream lines(output);
    std::string last;
    for (std::string line; std::getline(lines, line);) {
        const std::size_t start = line.find_first_not_of(" \t\r");
        if (start == std::string::npos) {
            continue;
        }
        last = line.substr(start);
        std::string folded = last;
        std::transform(folded.begin(), folded.end(), folded.begin(), [](unsigned char c) { return std::tolower(c); });
        if (folded.find("fail") != std::string::npos || folded.find("error") != std::string::npos) {
            break;
        }
    }
    return last;
}

} // namespace tovira::kit

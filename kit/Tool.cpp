#include "kit/Tool.h"

#include "kit/Stop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
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

// Owns the two ends of a pipe and the spawn's file actions and attributes, so that every exit path closes them.
struct Plumbing {
    int pipe[2] = {-1, -1};
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
    Plumbing() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
        if (::pipe2(pipe, O_CLOEXEC) != 0) {
            pipe[0] = pipe[1] = -1;
        }
    }
    ~Plumbing() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
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

ToolResult RunTool(const std::string& name, const std::vector<std::string>& args,
                   const std::function<void(const std::string&)>& watch) {
    ThrowIfStopped();
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
    // A group of its own, so that a stop ends the tool and whatever it started, and a terminal's Ctrl-C reaches
    // the kit alone, which then ends them itself.
    posix_spawnattr_setflags(&plumbing.attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&plumbing.attributes, 0);
    pid_t child = 0;
    if (posix_spawn(&child, program.c_str(), &plumbing.actions, &plumbing.attributes, argv.data(), environ) != 0) {
        return result;
    }
    plumbing.CloseWriteEnd();
    pollfd watched[] = {{plumbing.pipe[0], POLLIN, 0}, {StopDescriptor(), POLLIN, 0}};
    char buffer[4096];
    for (;;) {
        const int ready = poll(watched, 2, -1);
        if (ready < 0 && errno != EINTR) {
            break;
        }
        try {
            ThrowIfStopped();
        } catch (const Stopped&) {
            // SIGKILL, which a stopped or stubborn tool cannot delay; what it leaves, the kit removes.
            kill(-child, SIGKILL);
            while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
            }
            throw;
        }
        if (ready <= 0 || watched[0].revents == 0) {
            continue;
        }
        const ssize_t got = read(plumbing.pipe[0], buffer, sizeof buffer);
        if (got == 0 || (got < 0 && errno != EINTR)) {
            break;
        }
        if (got > 0) {
            result.output.append(buffer, static_cast<std::size_t>(got));
            if (watch) {
                watch(result.output);
            }
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

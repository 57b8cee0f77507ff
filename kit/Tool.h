#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// The programs that the kit has do part of its work (xorriso, osslsigncode, openssl, sha256sum).
namespace tovira::kit {

// The program's path on PATH, or empty where PATH lacks it: looked for before anything is written.
std::filesystem::path FindTool(const std::string& name);

struct ToolResult {
    int status = -1;    // the exit status; -1 when the program could not be started or was killed
    std::string output; // what it wrote to its standard output and error, in order
};

// Runs the program of that name from PATH with the given arguments, nothing on its standard input, and waits for
// it, handing `watch` all of the output so far whenever more arrives. Paths among the arguments must be absolute,
// so that none begins with '-' and reads as an option. The program runs in a process group of its own, which is
// killed when the kit is stopped (Stopped is thrown once it has ended).
ToolResult RunTool(const std::string& name, const std::vector<std::string>& args,
                   const std::function<void(const std::string&)>& watch = {});

// The line of a tool's output that says why it failed, for a one-line error: the first that speaks of a failure
// or an error, else the last that says anything.
std::string Reason(const std::string& output);

} // namespace tovira::kit

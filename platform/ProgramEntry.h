#pragma once

#include "platform/Form.h"
#include "platform/Services.h"

#include <memory>
#include <optional>
#include <string>

namespace tovira {

// The form that the program starts with, made on the services it is given: the program defines it, and the
// platform's entry point shows it and runs until it closes.
std::unique_ptr<Form> CreateStartupForm(Services& services);

// What the program does first with the arguments of its command line: a task without windows gives its exit code;
// nothing means that the windows start.
std::optional<int> RunCommandLineTask(Services& services, const std::string& arguments);

} // namespace tovira

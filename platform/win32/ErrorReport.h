#pragma once

#include "platform/RuntimeError.h"

#include <exception>

namespace tovira::win32 {

// The run-time error that an exception escaping an event procedure stands for. ProgramEnded passes through.
RuntimeError ErrorOf(std::exception_ptr error);

// The default report of an error that no procedure handled: a box with its number and description.
void ShowErrorReport(const RuntimeError& error);

} // namespace tovira::win32

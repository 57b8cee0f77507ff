#pragma once

#include <string>

namespace tovira {

// A name that the elevated instance takes, and so one that the disc kit lays out: a file name alone (no folder,
// drive, stream or device, none of the characters that Windows refuses in names) of a .dll or .ocx.
bool IsPlainComponentName(const std::string& name);

} // namespace tovira

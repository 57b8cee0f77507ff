#pragma once

#include <windows.h>

namespace tovira::win32 {

// The run-time error number that the program reports for a Windows error code (GetLastError).
int ErrorNumberFor(DWORD code);
// The same for a COM result: Win32 codes wrapped in an HRESULT map as above, out-of-memory to 7.
int ErrorNumberForResult(HRESULT result);

[[noreturn]] void ThrowError(DWORD code);
// Reads GetLastError at once, so call it right after the failing call.
[[noreturn]] void ThrowLastError();

} // namespace tovira::win32

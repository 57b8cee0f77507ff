#pragma once

#include "ErrorNumberOf.h"
#include "platform/RuntimeError.h"
#include "platform/win32/Win32Services.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace tovira::win32::testing {

// The operating-system services on their own, with a message pump of their own for the wait for the focus; the
// window parts belong to the runtime and are not used here.
struct OwnPump {
    MessagePump pump;
};

class OsServices : private OwnPump, public Win32Services {
public:
    OsServices() : Win32Services(pump) {}
};

// A fresh folder under the temporary folder, removed with everything in it at the end of the test.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& name);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);

using tovira::test::ErrorNumberOf;

// Where the test executable and its helper programs lie.
std::wstring TestFolder();

// Waits, up to 10 s, for a condition that another thread brings about.
bool WaitUntil(const std::function<bool()>& condition);

// Acts on the windows of the thread that makes it (message boxes, modal windows) from a thread of its own, as a
// user would. `act` returns false when what it waited for never came: the test then fails, and the waiting thread
// gets a quit message, which ends its message box or modal loop instead of leaving it blocked for good.
class UserThread {
public:
    explicit UserThread(std::function<bool()> act);
    ~UserThread() { Join(); }
    UserThread(const UserThread&) = delete;
    UserThread& operator=(const UserThread&) = delete;
    void Join();

private:
    const DWORD waiting_;
    std::atomic<bool> gaveUp_{false};
    std::thread thread_;
};

} // namespace tovira::win32::testing

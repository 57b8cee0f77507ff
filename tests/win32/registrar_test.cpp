#include "services_support.h"

#include "platform/win32/Errors.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Wide.h"
#include "register/Registrar.h"

namespace tovira::win32::testing {
namespace {

// Runs a program with the arguments to its end; its exit code.
DWORD ExitCodeOf(const std::wstring& program, const std::wstring& arguments) {
    std::wstring line = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
        return GetLastError();
    }
    KernelHandle thread(started.hThread);
    KernelHandle process(started.hProcess);
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process.Get(), 60000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.Get(), &code);
    }
    return code;
}

// Each of these would be copied or fail otherwise: x.exe and sub\x.dll lie there, the others fail with their own
// numbers. The refusal comes first, with its own exit code, and nothing reaches the system folder.
TEST(Registrar, TheElevatedInstanceRefusesAllButAPlainComponentNameOfItsFolder) {
    TempFolder medium{L"registrar"};
    ASSERT_TRUE(CreateDirectoryW((medium / L"sub").c_str(), nullptr));
    const std::wstring tovira = medium / L"Tovira.exe";
    ASSERT_TRUE(CopyFileW((TestFolder() + L"\\..\\..\\platform\\win32\\Tovira.exe").c_str(), tovira.c_str(), FALSE));
    for (const wchar_t* name : {L"x.dll", L"x.exe", L"sub\\x.dll"}) {
        WriteBytes(medium / name, "MZ component");
    }
    const std::wstring systemFolder = Widen(OsServices().SystemFolder());
    for (const wchar_t* argument :
         {L"..\\x.dll", L"C:\\x.dll", L"sub\\x.dll", L"x.exe", L"NUL.dll", L"x.dll:s", L"missing.dll", L"\"x.dll"}) {
        EXPECT_EQ(ExitCodeOf(tovira, std::wstring(L"/registrar ") + argument), DWORD{kRegistrarRefused}) << argument;
    }
    for (const wchar_t* name : {L"x.dll", L"x.exe", L"missing.dll"}) {
        EXPECT_EQ(GetFileAttributesW((systemFolder + L"\\" + name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
    }
}

TEST(Registrar, WineRunsElevatedUnlessTheSwitchAssumesAStandardUser) {
    OsServices services;
    EXPECT_TRUE(services.RunsElevated()) << "Wine runs every program as a full administrator";
    ASSERT_TRUE(SetEnvironmentVariableW(L"TOVIRA_ASSUME_STANDARD_USER", L"1"));
    EXPECT_FALSE(services.RunsElevated());
    ASSERT_TRUE(SetEnvironmentVariableW(L"TOVIRA_ASSUME_STANDARD_USER", L"10"));
    EXPECT_TRUE(services.RunsElevated());
    SetEnvironmentVariableW(L"TOVIRA_ASSUME_STANDARD_USER", nullptr);

    try {
        ThrowError(740); // ERROR_ELEVATION_REQUIRED, which not every SDK names
    } catch (const RuntimeError& error) {
        EXPECT_TRUE(error.NeedsElevation());
        EXPECT_EQ(error.Number(), kErrPermissionDenied) << "to whoever does not ask for consent";
    }
}

} // namespace
} // namespace tovira::win32::testing

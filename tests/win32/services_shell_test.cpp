#include "services_support.h"

#include "platform/win32/Wide.h"

#include <atomic>

namespace tovira::win32::testing {
namespace {

// Lets the messages of our own windows through while waiting for something, up to a bound.
template <typename Condition> bool PumpUntil(Condition&& condition, DWORD milliseconds = 10000) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    while (!condition()) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

std::wstring RecordedStart(const std::wstring& recordPath) {
    const std::string bytes = ReadBytes(recordPath);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

TEST(StartProgram, CommandLineShowStateAndFolderReachTheProgram) {
    TempFolder folder{L"start com espa\u00e7o \u041a\u0438\u0440 \u6f22\u5b57"};
    const std::wstring program = folder / L"gravador \u5b57.exe";
    ASSERT_TRUE(CopyFileW((TestFolder() + L"\\cmdline_recorder.exe").c_str(), program.c_str(), FALSE));
    const std::wstring record = folder / L"registro \u0436.txt";
    ASSERT_TRUE(SetEnvironmentVariableW(L"TOVIRA_RECORD_TO", record.c_str()));

    OsServices services;
    const std::wstring commandLine = L"\"" + program + L"\" \"um argumento\" C:\\sem aspas\\arquivo.dll";
    services.StartProgram(Narrow(commandLine), kShowMaximized);
    ASSERT_TRUE(PumpUntil([&] { return GetFileAttributesW(record.c_str()) != INVALID_FILE_ATTRIBUTES; }));
    const std::wstring systemFolder = Widen(services.SystemFolder());
    EXPECT_EQ(RecordedStart(record), commandLine + L"\n" + systemFolder + L"\n3\n");

    // The shell's way, for a program that Windows starts only with consent, starts it alike.
    for (bool shell : {false, true}) {
        DeleteFileW(record.c_str());
        shell ? services.StartProgramWithConsent(Narrow(program), kShowHidden)
              : services.StartProgram(Narrow(L"\"" + program + L"\""), kShowHidden);
        ASSERT_TRUE(PumpUntil([&] { return GetFileAttributesW(record.c_str()) != INVALID_FILE_ATTRIBUTES; }));
        EXPECT_EQ(RecordedStart(record), L"\"" + program + L"\"\n" + systemFolder + L"\n0\n");
    }
    SetEnvironmentVariableW(L"TOVIRA_RECORD_TO", nullptr);
}

TEST(StartProgram, MissingProgramRaisesFileNotFound) {
    TempFolder folder{L"start-missing"};
    OsServices services;
    EXPECT_EQ(ErrorNumberOf([&] { services.StartProgram(Narrow(L"\"" + (folder / L"ausente.exe") + L"\" x"), 1); }),
              53);
    EXPECT_EQ(ErrorNumberOf([&] { services.StartProgram("Tovira_programa_que_nao_existe_xyz.exe", 1); }), 53);
}

TEST(StartProgram, AProgramNamedWithoutAFolderComesFromTheSystemFoldersNeverFromBesideUs) {
    const std::wstring planted = TestFolder() + L"\\plantado_tovira.exe";
    ASSERT_TRUE(CopyFileW((TestFolder() + L"\\cmdline_recorder.exe").c_str(), planted.c_str(), FALSE));
    OsServices services;
    EXPECT_EQ(ErrorNumberOf([&] { services.StartProgram("plantado_tovira \"C:\\x.dll\"", 1); }), 53);
    EXPECT_EQ(ErrorNumberOf([&] { services.StartProgram("\"plantado_tovira.exe\"", 1); }), 53);
    DeleteFileW(planted.c_str());
    EXPECT_EQ(ErrorNumberOf([&] { services.StartProgram("cmd.exe /c exit", kShowHidden); }), 0);
    EXPECT_EQ(ErrorNumberOf([&] { services.StartProgram("Cmd /c exit", kShowHidden); }), 0);
}

TEST(StartProgram, ProgramNameIsTheQuotedOrFirstWord) {
    EXPECT_EQ(ProgramNameOf(L"Regsvr32 \"C:\\Win\\a b.dll\""), L"Regsvr32");
    EXPECT_EQ(ProgramNameOf(L"\"D:\\Meus Manuais\\rs40eng.exe\""), L"D:\\Meus Manuais\\rs40eng.exe");
    EXPECT_EQ(ProgramNameOf(L"Explorer.exe"), L"Explorer.exe");
    EXPECT_EQ(ProgramNameOf(L"\"unterminated x"), L"unterminated x");
}

TEST(ShellExecuteOpen, MissingDocumentIsReportedNotRaised) {
    TempFolder folder{L"shell"};
    OsServices services;
    EXPECT_FALSE(services.ShellExecuteOpen(Narrow(folder / L"Indice.pdf"), kShowMaximized));
}

// Finds the box from outside, as a user would see it, and answers it.
struct BoxAnswerer {
    explicit BoxAnswerer(int button)
        : user([this, button] {
              HWND box = nullptr;
              if (!WaitUntil(
                      [&] { return (box = FindWindowW(L"#32770", L"Tovira")) != nullptr && IsWindowVisible(box); })) {
                  return false;
              }
              EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&text));
              found = true;
              SendMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
              return true;
          }) {}
    void Finish() { user.Join(); }

    static BOOL CALLBACK CollectText(HWND child, LPARAM data) {
        wchar_t className[32] = {};
        GetClassNameW(child, className, 32);
        wchar_t buffer[1024] = {};
        SendMessageW(child, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer));
        if (lstrcmpiW(className, L"Static") == 0 && buffer[0] != L'\0') {
            *reinterpret_cast<std::wstring*>(data) = buffer;
            return FALSE;
        }
        return TRUE;
    }

    std::wstring text;
    std::atomic<bool> found = false;
    UserThread user;
};

TEST(ShowMessage, BoxTitledToviraShowsTheTextAndReturnsTheButton) {
    OsServices services;
    {
        BoxAnswerer answerer(IDNO);
        EXPECT_EQ(services.ShowMessage("Instalar o leitor?\r\rLinha com acentua\xc3\xa7\xc3\xa3o", 36), kAnswerNo);
        answerer.Finish();
        EXPECT_TRUE(answerer.found);
        EXPECT_EQ(answerer.text, L"Instalar o leitor?\r\rLinha com acentua\u00e7\u00e3o");
    }
    {
        BoxAnswerer answerer(IDOK);
        EXPECT_EQ(services.ShowMessage("Selecione um Arquivo para Registro.", 48), kAnswerOk);
    }
}

class WindowTest : public ::testing::Test {
protected:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        return DefWindowProcW(window, message, wParam, lParam);
    }

    HWND Open(const wchar_t* title) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"ToviraTestWindow";
        RegisterClassW(&windowClass);
        HWND window = CreateWindowExW(0, L"ToviraTestWindow", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100,
                                      nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        windows_.push_back(window);
        // Wine without a window manager does not hand the focus to new windows by itself.
        SetForegroundWindow(window);
        return window;
    }

    void TearDown() override {
        for (HWND window : windows_) {
            DestroyWindow(window);
        }
    }

    bool BecomesForeground(HWND window) {
        return PumpUntil([&] { return GetForegroundWindow() == window; }, 3000);
    }

    OsServices services;

private:
    std::vector<HWND> windows_;
};

TEST_F(WindowTest, ExactTitleWinsOverAPrefixAndCaseDoesNotMatter) {
    HWND exact = Open(L"Leitor de Teste");
    HWND longer = Open(L"Leitor de Teste - Indice.pdf");
    HWND other = Open(L"Outra janela");
    ASSERT_TRUE(BecomesForeground(other));

    services.ActivateWindow("Leitor de Teste", false);
    EXPECT_TRUE(BecomesForeground(exact));
    SetForegroundWindow(other);
    services.ActivateWindow("LEITOR DE TESTE", true);
    EXPECT_TRUE(BecomesForeground(exact));
    EXPECT_NE(GetForegroundWindow(), longer);
}

TEST_F(WindowTest, PrefixFindsTheWindowAndRestoresItFromTheTaskbar) {
    HWND reader = Open(L"Leitor \u6f22\u5b57 - Indice.pdf");
    Open(L"Outra janela");
    ShowWindow(reader, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(reader));

    services.ActivateWindow("Leitor \xe6\xbc\xa2", true);
    EXPECT_TRUE(BecomesForeground(reader));
    EXPECT_FALSE(IsIconic(reader));
}

TEST_F(WindowTest, NoMatchingWindowRaisesInvalidCall) {
    Open(L"Leitor de Teste");
    HWND hidden = Open(L"Janela oculta do teste");
    ShowWindow(hidden, SW_HIDE);
    EXPECT_EQ(ErrorNumberOf([&] { services.ActivateWindow("Acrobat Reader de teste inexistente", true); }), 5);
    EXPECT_EQ(ErrorNumberOf([&] { services.ActivateWindow("Leitor de Teste e mais", false); }), 5);
    EXPECT_EQ(ErrorNumberOf([&] { services.ActivateWindow("Janela oculta", false); }), 5);
    EXPECT_EQ(ErrorNumberOf([&] { services.ActivateWindow("", false); }), 5);
}

} // namespace
} // namespace tovira::win32::testing

#include "BuildSettings.h"
#include "launcher/frmInstalador.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Wide.h"
#include "platform/win32/Win32Runtime.h"
#include "register/frmRegister.h"
#include "runtime_support.h"
#include "services_support.h"

#include <gtest/gtest.h>

#include <oleacc.h>

#include <atomic>
#include <functional>
#include <utility>

namespace tovira::win32 {
namespace {

using testing::ChildWindowOf;
using testing::UserThread;
using testing::WaitUntil;
using testing::WindowOf;

// The runtime's services for the launcher, with a stand-in that records the programs it starts.
struct LauncherServices final : Services {
    explicit LauncherServices(Win32Runtime& owner) : runtime(owner) {}
    void StartProgram(const std::string& commandLine, int showState) override {
        started.push_back(commandLine + " " + std::to_string(showState));
        ++startCount;
    }
    void StartProgramWithConsent(const std::string& path, int showState) override { StartProgram(path, showState); }
    bool RunsElevated() override { return runtime.RunsElevated(); }
    int RunElevated(const std::string& exe, const std::string& args) override { return runtime.RunElevated(exe, args); }
    bool ProgramIsSigned() override { return runtime.ProgramIsSigned(); }
    ComponentList ShippedComponents() override { return runtime.ShippedComponents(); }
    int ShowMessage(const std::string& text, int style) override { return runtime.ShowMessage(text, style); }
    bool ShellExecuteOpen(const std::string& path, int show) override { return runtime.ShellExecuteOpen(path, show); }
    void ActivateWindow(const std::string& title, bool wait) override { runtime.ActivateWindow(title, wait); }
    std::string ListFiles(const std::string& pattern) override { return runtime.ListFiles(pattern); }
    std::string ListNextFile() override { return runtime.ListNextFile(); }
    void CopyFileReplacing(const std::string& from, const std::string& to, const ContentCheck& check) override {
        runtime.CopyFileReplacing(from, to, check);
    }
    std::string SystemFolder() override { return runtime.SystemFolder(); }
    std::string ApplicationFolder() override { return runtime.ApplicationFolder(); }
    std::string ProgramPath() override { return runtime.ProgramPath(); }
    std::string NetworkPath(const std::string& path) override { return runtime.NetworkPath(path); }
    PicturePtr LoadPictureFile(const std::string& path) override { return runtime.LoadPictureFile(path); }
    ScreenTwips ScreenSize() override { return runtime.ScreenSize(); }
    void SetBusyCursor(bool on) override { runtime.SetBusyCursor(on); }
    void LoadForm(Form& form) override { runtime.LoadForm(form); }
    void ShowWindowModal(Form& form) override { runtime.ShowWindowModal(form); }
    [[noreturn]] void EndProgram() override { runtime.EndProgram(); }

    Win32Runtime& runtime;
    std::vector<std::string> started;
    std::atomic<int> startCount{0};
};

// A screen reader's view from an apartment of its own, so that every call crosses over to the window's thread.
struct Reader {
    Reader() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~Reader() {
        object.Reset();
        CoUninitialize();
    }
    bool Open(HWND window) {
        object.Reset();
        return SUCCEEDED(AccessibleObjectFromWindow(window, OBJID_CLIENT, __uuidof(IAccessible),
                                                    reinterpret_cast<void**>(object.Put())));
    }
    std::wstring Text(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), LONG child) {
        BSTR text = nullptr;
        (object.Get()->*get)(Child(child), &text);
        std::wstring result = text != nullptr ? text : L"";
        SysFreeString(text);
        return result;
    }
    LONG Number(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*), LONG child) {
        VARIANT number{};
        (object.Get()->*get)(Child(child), &number);
        return number.vt == VT_I4 ? number.lVal : -1;
    }
    // Left, top, width and height, from the corner of the window's client area.
    std::vector<LONG> Box(HWND window, LONG child) {
        long x = 0, y = 0, width = 0, height = 0;
        object.Get()->accLocation(&x, &y, &width, &height, Child(child));
        POINT corner{x, y};
        ScreenToClient(window, &corner);
        return {corner.x, corner.y, width, height};
    }
    static VARIANT Child(LONG id) {
        VARIANT child{};
        child.vt = VT_I4;
        child.lVal = id;
        return child;
    }
    ComPtr<IAccessible> object;
};

std::atomic<LONG> namedChild{0};

void CALLBACK NameChanged(HWINEVENTHOOK, DWORD, HWND, LONG object, LONG child, DWORD, DWORD) {
    if (object == OBJID_CLIENT) {
        namedChild = child;
    }
}

// Moves the pointer to a point of the window, whose thread is `uiThread`, and waits for readers to hear of a changed
// name: the child whose name changed, or 0.
LONG NameChangeAfterMove(HWND window, DWORD uiThread, LPARAM point) {
    namedChild = 0;
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr, NameChanged,
                                         GetCurrentProcessId(), uiThread, WINEVENT_OUTOFCONTEXT);
    PostMessageW(window, WM_MOUSEMOVE, 0, point);
    WaitUntil([] { return namedChild != 0; });
    UnhookWinEvent(hook);
    return namedChild;
}

// Runs `read` on a thread of its own while this thread, the windows' own, answers it; the reader lets go of every
// object before this thread stops answering.
void ReadAsAScreenReader(const std::function<bool(Reader&)>& read) {
    const DWORD windowsThread = GetCurrentThreadId();
    UserThread user([&] {
        bool done = false;
        {
            Reader reader;
            done = read(reader);
        }
        PostThreadMessageW(windowsThread, WM_QUIT, 0, 0);
        return done;
    });
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
}

// The launcher on screen; no logo beside the tests: the logo is made visible by hand instead.
struct ShownLauncher {
    explicit ShownLauncher(Win32Runtime::EndAction end) : runtime(GetModuleHandleW(nullptr), std::move(end)) {
        form.Load = nullptr;
        runtime.LoadForm(form);
        runtime.Dispatch([&] { form.pctLogo.visible = true; });
        window = WindowOf(form);
        ShowWindow(window, SW_SHOWNOACTIVATE);
    }
    Win32Runtime runtime;
    LauncherServices services{runtime};
    frmInstalador form{services};
    HWND window = nullptr;
};

TEST(Accessibility, AReaderFindsTheLauncherFollowsTheHintAndWorksEachItemAsAClickDoes) {
    int ends = 0;
    ShownLauncher launcher([&](UINT) { ++ends; });
    LauncherServices& services = launcher.services;
    frmInstalador& form = launcher.form;
    HWND window = launcher.window;
    const DWORD uiThread = GetCurrentThreadId();
    const LPARAM overExplore = MAKELPARAM(40, 155);

    std::vector<std::wstring> names;
    std::vector<LONG> roles;
    std::vector<std::vector<LONG>> boxes;
    std::wstring description, action, status;
    LONG announced = 0;
    ReadAsAScreenReader([&](Reader& reader) {
        long count = 0;
        if (!reader.Open(window) || FAILED(reader.object.Get()->get_accChildCount(&count))) {
            return false;
        }
        for (LONG child = 1; child <= count; ++child) {
            names.push_back(reader.Text(&IAccessible::get_accName, child));
            roles.push_back(reader.Number(&IAccessible::get_accRole, child));
            boxes.push_back(reader.Box(window, child));
        }
        description = reader.Text(&IAccessible::get_accDescription, 4);
        action = reader.Text(&IAccessible::get_accDefaultAction, 4);

        announced = NameChangeAfterMove(window, uiThread, overExplore);
        status = reader.Text(&IAccessible::get_accName, 6);

        // A click of the mouse, then the reader's default action on the same item.
        PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, overExplore);
        PostMessageW(window, WM_LBUTTONUP, 0, overExplore);
        const bool clicked = WaitUntil([&] { return services.startCount == 1; });
        reader.object.Get()->accDoDefaultAction(Reader::Child(4));
        const bool acted = WaitUntil([&] { return services.startCount == 2; });
        reader.object.Get()->accDoDefaultAction(Reader::Child(5));
        const bool ended = WaitUntil([&] { return !IsWindow(window); });
        return announced != 0 && clicked && acted && ended;
    });

    const std::wstring site = Widen(kVendorWebAddress);
    EXPECT_EQ(names, (std::vector<std::wstring>{site, L"Abrir Manual", L"Instalar Acrobat Reader", L"Explorar",
                                                L"Finalizar", L"", L"Logotipo da Empresa"}));
    EXPECT_EQ(description, L"Iniciar o Explorer do Windows.");
    EXPECT_EQ(roles, (std::vector<LONG>{ROLE_SYSTEM_LINK, ROLE_SYSTEM_LINK, ROLE_SYSTEM_LINK, ROLE_SYSTEM_LINK,
                                        ROLE_SYSTEM_LINK, ROLE_SYSTEM_STATICTEXT, ROLE_SYSTEM_GRAPHIC}));
    EXPECT_EQ(action, L"Clicar");
    // Where the design puts them (15 twips a pixel), the logo cut at the client area's edges.
    ASSERT_EQ(boxes.size(), 7u);
    const auto pixels = [](double twips) { return static_cast<LONG>(twips / 15); };
    EXPECT_EQ(boxes[1], (std::vector<LONG>{32, 84, pixels(form.Label3.width), pixels(form.Label3.height)}));
    EXPECT_EQ(boxes[5], (std::vector<LONG>{720 / 15, 3540 / 15, 1575 / 15, 795 / 15}));
    EXPECT_EQ(boxes[6], (std::vector<LONG>{3120 / 15, 0, (9330 - 3120) / 15, 4875 / 15}));
    EXPECT_EQ(announced, 6);
    EXPECT_EQ(status, L"Iniciar o Explorer do Windows.");
    EXPECT_EQ(services.started, (std::vector<std::string>{"Explorer.exe 3", "Explorer.exe 3"}));
    EXPECT_EQ(ends, 1);
}

// The question before the installer disables the launcher: a reader finds its items unavailable and their actions
// refused, as a click would be, instead of run once the question is answered.
TEST(Accessibility, WhileTheInstallQuestionStandsTheItemsAreUnavailableAndTheirActionsRefused) {
    int ends = 0;
    ShownLauncher launcher([&](UINT) { ++ends; });
    LONG during = 0, after = 0;
    HRESULT finish = S_OK;
    ReadAsAScreenReader([&](Reader& reader) {
        HWND box = nullptr;
        if (!reader.Open(launcher.window) || FAILED(reader.object.Get()->accDoDefaultAction(Reader::Child(3))) ||
            !WaitUntil([&] { return (box = FindWindowW(L"#32770", L"Tovira")) != nullptr && IsWindowVisible(box); })) {
            return false;
        }
        during = reader.Number(&IAccessible::get_accState, 5);
        finish = reader.object.Get()->accDoDefaultAction(Reader::Child(5));
        SendMessageW(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
        // Answered by the window's thread once the click procedure, and whatever waited for it, has run.
        const bool enabled = WaitUntil([&] { return IsWindowEnabled(launcher.window) != FALSE; });
        after = reader.Number(&IAccessible::get_accState, 5);
        return enabled;
    });
    EXPECT_EQ(during, STATE_SYSTEM_LINKED | STATE_SYSTEM_UNAVAILABLE);
    EXPECT_EQ(finish, E_FAIL);
    EXPECT_EQ(after, STATE_SYSTEM_LINKED);
    EXPECT_TRUE(IsWindow(launcher.window));
    EXPECT_EQ(ends, 0);
    EXPECT_TRUE(launcher.services.started.empty());
}

// In the window's own apartment a reader's calls reach the object as they are, null answers included.
TEST(Accessibility, NullAnswerPlacesAreRefusedNotWrittenThrough) {
    ShownLauncher launcher([](UINT) {});
    ComPtr<IAccessible> client;
    ASSERT_TRUE(SUCCEEDED(AccessibleObjectFromWindow(launcher.window, OBJID_CLIENT, __uuidof(IAccessible),
                                                     reinterpret_cast<void**>(client.Put()))));
    const VARIANT first = Reader::Child(1);
    long number = 0;
    BSTR file = nullptr;
    EXPECT_EQ(client.Get()->GetTypeInfoCount(nullptr), E_INVALIDARG);
    EXPECT_EQ(client.Get()->get_accChildCount(nullptr), E_INVALIDARG);
    EXPECT_EQ(client.Get()->get_accChild(first, nullptr), E_INVALIDARG);
    EXPECT_EQ(client.Get()->get_accHelpTopic(nullptr, first, &number), E_INVALIDARG);
    EXPECT_EQ(client.Get()->get_accHelpTopic(&file, first, nullptr), E_INVALIDARG);
    EXPECT_EQ(client.Get()->accLocation(&number, &number, nullptr, &number, first), E_INVALIDARG);
}

TEST(Accessibility, TheRegistrationWindowsControlsAreNamedAsTheySayAndTheListByItsFrame) {
    Win32Runtime runtime(GetModuleHandleW(nullptr), [](UINT) {});
    frmRegister form(runtime);
    runtime.LoadForm(form);
    HWND list = ChildWindowOf(form, form.lstArquivos);
    // Found here, on the windows' own thread, for the reader's.
    std::vector<HWND> windows;
    for (const Control* control : std::vector<const Control*>{&form.lstArquivos, &form.cmdRegArquivo, &form.cmdCancela,
                                                              &form.Frame1, &form.Label1}) {
        windows.push_back(ChildWindowOf(form, *control));
    }
    std::vector<std::wstring> names;
    ReadAsAScreenReader([&](Reader& reader) {
        for (HWND window : windows) {
            if (!reader.Open(window)) {
                return false;
            }
            names.push_back(reader.Text(&IAccessible::get_accName, CHILDID_SELF));
        }
        return true;
    });
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Arquivo para Registro no Windows", L"Registrar Agora", L"Cancela",
                                                L"Arquivo para Registro no Windows", Widen(form.Label1.caption)}));
    // Where Windows' own reader looks for a list's name: a static just before it, never shown.
    HWND label = GetWindow(list, GW_HWNDPREV);
    wchar_t text[64]{};
    GetWindowTextW(label, text, 64);
    EXPECT_EQ(std::wstring(text), L"Arquivo para Registro no Windows");
    EXPECT_FALSE(IsWindowVisible(label));
}

} // namespace
} // namespace tovira::win32

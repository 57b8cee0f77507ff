// Holds a file open with no sharing, as another program on the medium might, so that nobody else can open it.
// Prints "locked" (or "failed N") once, then keeps the file until its standard input closes.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        return 2;
    }
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const std::string status =
        file == INVALID_HANDLE_VALUE ? "failed " + std::to_string(GetLastError()) + "\n" : std::string("locked\n");
    DWORD count = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), status.data(), static_cast<DWORD>(status.size()), &count, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    char buffer[64];
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &count, nullptr) && count > 0) {
    }
    CloseHandle(file);
    return 0;
}

// Control for the planted-DLL tests: loads each DLL named on the command line by its bare name, with the
// search order that a program without any hardening gets. Run from the medium, the markers that the planted
// DLLs leave show which of them Windows would have taken from there.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    for (int i = 1; i < argc; ++i) {
        LoadLibraryW(argv[i]);
    }
    return 0;
}

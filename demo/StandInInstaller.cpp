// The demo medium's rs40eng.exe: it stands in for the PDF reader's installer that an author puts on a disc, so
// that "Instalar Acrobat Reader" on the demo starts a program, as it does on a real disc, and says what it is.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    MessageBoxW(nullptr,
                L"Este programa está no lugar do instalador do Acrobat Reader.\n\n"
                L"Num disco de verdade, o autor coloca aqui (rs40eng.exe) o instalador do leitor de PDF. "
                L"Nada foi instalado.",
                L"Instalador de demonstração", MB_OK | MB_ICONINFORMATION);
    return 0;
}

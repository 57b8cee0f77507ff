// The demo medium's sample component: the registration window (the demo without its logo) lists it, copies it
// into the system folder and has Regsvr32 register it. Registering it changes no setting.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return S_OK;
}

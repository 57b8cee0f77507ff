#include "platform/win32/ComApartment.h"

#include <objbase.h>
#include <windows.h>

namespace tovira::win32 {

void EnsureComApartment() {
    thread_local bool joined = false;
    if (!joined) {
        // A thread that already chose another model keeps it; the calls that follow cope with either.
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        joined = true;
    }
}

} // namespace tovira::win32

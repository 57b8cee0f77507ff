#include "platform/win32/ErrorReport.h"

#include "platform/Services.h"
#include "platform/win32/Wide.h"

#include <windows.h>

#include <new>
#include <string>

namespace tovira::win32 {

RuntimeError ErrorOf(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const ProgramEnded&) {
        throw;
    } catch (const RuntimeError& runtimeError) {
        return runtimeError;
    } catch (const std::bad_alloc&) {
        return RuntimeError(kErrOutOfMemory);
    } catch (...) {
        // Any other exception is a fault inside the program itself, not in what the user gave it; the closest
        // classic report is the invalid procedure call.
        return RuntimeError(kErrInvalidCall);
    }
}

void ShowErrorReport(const RuntimeError& error) {
    std::wstring text = Widen("Erro em tempo de execução '" + std::to_string(error.Number()) + "':\r\n\r\n");
    text += DisplayText(error.Description());
    MessageBoxW(nullptr, text.c_str(), Widen(kApplicationTitle).c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

} // namespace tovira::win32

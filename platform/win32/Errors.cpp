#include "platform/win32/Errors.h"

#include "platform/RuntimeError.h"

namespace tovira::win32 {

namespace {

// Not in every SDK's headers: CreateProcess of a program that asks for administrator rights.
constexpr DWORD kErrorElevationRequired = 740;

struct ErrorMapping {
    DWORD code;
    int number;
};

constexpr ErrorMapping kErrorTable[] = {
    {ERROR_FILE_NOT_FOUND, kErrFileNotFound},
    {ERROR_PATH_NOT_FOUND, kErrPathNotFound},
    {ERROR_INVALID_DRIVE, kErrPathNotFound},
    {ERROR_BAD_NETPATH, kErrPathNotFound},
    {ERROR_BAD_NET_NAME, kErrPathNotFound},
    {ERROR_BAD_PATHNAME, kErrPathNotFound},
    {ERROR_INVALID_NAME, kErrPathNotFound},
    {ERROR_DIRECTORY, kErrPathNotFound},
    {ERROR_FILENAME_EXCED_RANGE, kErrPathNotFound},
    {ERROR_ACCESS_DENIED, kErrPermissionDenied},
    {ERROR_WRITE_PROTECT, kErrPermissionDenied},
    {ERROR_NETWORK_ACCESS_DENIED, kErrPermissionDenied},
    {kErrorElevationRequired, kErrPermissionDenied},
    {ERROR_SHARING_VIOLATION, kErrPathFileAccess},
    {ERROR_LOCK_VIOLATION, kErrPathFileAccess},
    {ERROR_USER_MAPPED_FILE, kErrPathFileAccess},
    {ERROR_NOT_ENOUGH_MEMORY, kErrOutOfMemory},
    {ERROR_OUTOFMEMORY, kErrOutOfMemory},
    {ERROR_NOT_ENOUGH_QUOTA, kErrOutOfMemory},
    {ERROR_NOT_READY, kErrDeviceIo},
    {ERROR_CRC, kErrDeviceIo},
    {ERROR_SEEK, kErrDeviceIo},
    {ERROR_SECTOR_NOT_FOUND, kErrDeviceIo},
    {ERROR_WRITE_FAULT, kErrDeviceIo},
    {ERROR_READ_FAULT, kErrDeviceIo},
    {ERROR_GEN_FAILURE, kErrDeviceIo},
    {ERROR_IO_DEVICE, kErrDeviceIo},
    {ERROR_DEVICE_NOT_CONNECTED, kErrDeviceIo},
    {ERROR_DISK_FULL, kErrDeviceIo},
    {ERROR_HANDLE_DISK_FULL, kErrDeviceIo},
    // The user said no to the consent prompt (or to the administrator's password it asks for).
    {ERROR_CANCELLED, kErrConsentRefused},
};

} // namespace

int ErrorNumberFor(DWORD code) {
    for (const ErrorMapping& mapping : kErrorTable) {
        if (mapping.code == code) {
            return mapping.number;
        }
    }
    return kErrInvalidCall;
}

int ErrorNumberForResult(HRESULT result) {
    if (result == E_OUTOFMEMORY) {
        return kErrOutOfMemory;
    }
    if (HRESULT_FACILITY(result) == FACILITY_WIN32) {
        return ErrorNumberFor(static_cast<DWORD>(HRESULT_CODE(result)));
    }
    return kErrInvalidCall;
}

void ThrowError(DWORD code) {
    if (code == kErrorElevationRequired) {
        throw RuntimeError::ElevationRequired();
    }
    throw RuntimeError(ErrorNumberFor(code));
}

void ThrowLastError() {
    ThrowError(GetLastError());
}

} // namespace tovira::win32

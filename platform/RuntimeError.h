#pragma once

#include <exception>
#include <string>

namespace tovira {

// Error numbers follow the classic run-time numbering that the messages show to the user.
enum ErrorNumber : int {
    kErrInvalidCall = 5,
    kErrOverflow = 6,
    kErrOutOfMemory = 7,
    kErrDivisionByZero = 11,
    kErrFileNotFound = 53,
    kErrDeviceIo = 57,
    kErrPermissionDenied = 70,
    kErrPathFileAccess = 75,
    kErrPathNotFound = 76,
    kErrInvalidPicture = 481,
    // The classic number of a dialog that the user cancelled: here Windows' consent to run as administrator.
    kErrConsentRefused = 32755,
    // A component that the program's list does not name, or any component of a program signed without a list: not
    // one that came with the disc.
    kErrComponentNotShipped = 32100,
};

// The Brazilian-Portuguese description of a run-time error number; a generic text for numbers without one.
std::string DescriptionOf(int number);

// What a failing operation raises. Only the procedures that the design gives a handler catch it.
class RuntimeError : public std::exception {
public:
    explicit RuntimeError(int number);
    RuntimeError(int number, std::string description);
    // A program that Windows starts only with an administrator's consent: permission denied to whoever does not
    // go on to ask for that consent.
    static RuntimeError ElevationRequired();

    int Number() const { return number_; }
    bool NeedsElevation() const { return needsElevation_; }
    const std::string& Description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    int number_;
    std::string description_;
    bool needsElevation_ = false;
};

// Thrown by EndProgram where the process goes on after it, so that nothing after the call runs: by the Windows
// runtime when its end action returns (a test's, where the real one ends the process), and by a fake platform.
// Deliberately not a RuntimeError: no error handler of a form may swallow it.
struct ProgramEnded {};

} // namespace tovira

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
};

// The Brazilian-Portuguese description of a run-time error number; a generic text for numbers without one.
std::string DescriptionOf(int number);

// What a failing operation raises. Only the procedures that the design gives a handler catch it.
class RuntimeError : public std::exception {
public:
    explicit RuntimeError(int number);
    RuntimeError(int number, std::string description);

    int Number() const { return number_; }
    const std::string& Description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    int number_;
    std::string description_;
};

// Thrown by a fake platform's EndProgram so that tests can see that nothing after the call ran.
// Deliberately not a RuntimeError: no error handler of a form may swallow it.
struct ProgramEnded {};

} // namespace tovira

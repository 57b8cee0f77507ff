#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Authenticode signing of the medium's program, so that Windows names its publisher instead of warning about an
// unknown one. osslsigncode signs; openssl reads the certificate for the checks made before anything is written.
namespace tovira::kit {

struct SignPlan {
    std::filesystem::path pkcs12; // empty: the program is not signed
    std::filesystem::path passwordFile;
    std::string timestampUrl; // empty: no time stamp
};

// The problems of the certificate, one line each: a password file of more than one line, a password that does not
// open it, an expired one, one whose usage is not code signing.
std::vector<std::string> CheckCertificate(const SignPlan& sign);

// Signs the program in place with SHA-256, at the given signing time where there is one, and verifies the
// signature against the certificate's own chain; throws on failure.
void SignProgram(const SignPlan& sign, const std::filesystem::path& program, std::optional<std::int64_t> time);

} // namespace tovira::kit

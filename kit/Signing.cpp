#include "kit/Signing.h"

#include "kit/Tool.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tovira::kit {

namespace fs = std::filesystem;

namespace {

// A private folder for the certificates that openssl takes out of the PKCS#12 file; removed with its owner.
class Scratch {
public:
    Scratch() {
        const char* temp = std::getenv("TMPDIR");
        std::string pattern = std::string(temp && *temp ? temp : "/tmp") + "/tovira-kit-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            throw fs::filesystem_error("cannot make a temporary folder", pattern,
                                       std::error_code(errno, std::generic_category()));
        }
        path_ = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    std::string operator/(const char* name) const { return (path_ / name).string(); }

    // A file that only this user may read, with exactly that text, for a tool to read a secret from.
    std::string Secret(const char* name, const std::string& text) const {
        const std::string path = *this / name;
        const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        const bool written = file >= 0 && write(file, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        if (file < 0 || close(file) != 0 || !written) {
            throw fs::filesystem_error("cannot write", path, std::error_code(errno, std::generic_category()));
        }
        return path;
    }

private:
    fs::path path_;
};

std::string Quoted(const fs::path& path) {
    return "\"" + path.string() + "\"";
}

// openssl reads no more of a password file's first line; a longer password would open nothing.
constexpr std::size_t kLongestPassword = 1023;

struct Password {
    std::string text;
    std::string problem; // one line: why the file is refused
};

// The file's first line without its line end (LF, or CR LF as Windows editors save it), the one reading that
// both the check and the signing use; the lines after it must be empty, so that no other reading could differ.
// Reads no more than the password's bound and its line end, however large the file.
Password ReadPassword(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw fs::filesystem_error("cannot read", file, std::error_code(errno, std::generic_category()));
    }
    Password password;
    std::istreambuf_iterator<char> at(in);
    const std::istreambuf_iterator<char> end;
    for (; at != end && *at != '\n' && password.text.size() <= kLongestPassword + 1; ++at) {
        password.text += *at;
    }
    if (!password.text.empty() && password.text.back() == '\r') {
        password.text.pop_back();
    }
    if (password.text.size() > kLongestPassword) {
        password.problem = "the password in " + Quoted(file) + " is longer than openssl reads (" +
                           std::to_string(kLongestPassword) + " bytes)";
    }
    for (; at != end && password.problem.empty(); ++at) {
        if (*at != '\n' && *at != '\r') {
            password.problem = "the password file " + Quoted(file) +
                               " holds more than one line: the password is its first line, and the others must be "
                               "empty";
        }
    }
    return password;
}

// The password goes to openssl and osslsigncode in a private file, never on a command line.
ToolResult OpenPkcs12(const SignPlan& sign, const std::string& passwordFile, std::vector<std::string> extra) {
    std::vector<std::string> args = {"pkcs12", "-in", fs::absolute(sign.pkcs12).string(), "-passin",
                                     "file:" + passwordFile};
    args.insert(args.end(), extra.begin(), extra.end());
    ToolResult opened = RunTool("openssl", args);
    if (opened.status != 0 && opened.output.find("invalid password") == std::string::npos) {
        // Files exported by older Windows use ciphers that OpenSSL 3 keeps in its legacy provider.
        args.push_back("-legacy");
        ToolResult legacy = RunTool("openssl", args);
        if (legacy.status == 0) {
            return legacy;
        }
    }
    return opened;
}

} // namespace

std::vector<std::string> CheckCertificate(const SignPlan& sign) {
    const Password password = ReadPassword(sign.passwordFile);
    if (!password.problem.empty()) {
        return {password.problem};
    }
    const Scratch scratch;
    // openssl takes the first line of its file, and an empty password only as an empty line.
    const ToolResult opened = OpenPkcs12(sign, scratch.Secret("password", password.text + "\n"),
                                         {"-nokeys", "-clcerts", "-out", scratch / "signer.pem"});
    const std::string certificate = "the signing certificate " + Quoted(sign.pkcs12);
    if (opened.status != 0) {
        return {opened.output.find("invalid password") != std::string::npos
                    ? "the password in " + Quoted(sign.passwordFile) + " does not open " + certificate
                    : certificate + " is not a PKCS#12 file that openssl reads: " + Reason(opened.output)};
    }
    const ToolResult read = RunTool("openssl", {"x509", "-in", scratch / "signer.pem", "-noout", "-enddate", "-ext",
                                                "keyUsage,extendedKeyUsage", "-checkend", "0"});
    const std::string& text = read.output;
    std::vector<std::string> problems;
    if (text.find("notAfter=") == std::string::npos) {
        return {certificate + " holds no certificate for its key: " + Reason(text)};
    }
    if (text.find("Certificate will expire") != std::string::npos) {
        const std::size_t date = text.find("notAfter=") + 9;
        problems.push_back(certificate + " expired on " + text.substr(date, text.find('\n', date) - date));
    }
    const std::size_t keyUsage = text.find("X509v3 Key Usage");
    const bool signs =
        keyUsage == std::string::npos || text.find("Digital Signature", keyUsage) < text.find("X509v3", keyUsage + 1);
    if (text.find("Code Signing") == std::string::npos || !signs) {
        problems.push_back(certificate + " is not for code signing: its key usage must hold Digital Signature "
                                         "and its extended key usage Code Signing");
    }
    return problems;
}

void SignProgram(const SignPlan& sign, const fs::path& program, std::optional<std::int64_t> time) {
    const Password password = ReadPassword(sign.passwordFile);
    if (!password.problem.empty()) {
        throw std::runtime_error(password.problem);
    }
    const Scratch scratch;
    const ToolResult chain =
        OpenPkcs12(sign, scratch.Secret("password", password.text + "\n"), {"-nokeys", "-out", scratch / "chain.pem"});
    if (chain.status != 0) {
        throw std::runtime_error("openssl could not read the signing certificate: " + Reason(chain.output));
    }
    std::vector<std::string> args = {
        "sign", "-pkcs12", fs::absolute(sign.pkcs12).string(), "-readpass", scratch.Secret("exact", password.text),
        "-h",   "sha256"};
    if (!sign.timestampUrl.empty()) {
        args.insert(args.end(), {"-ts", sign.timestampUrl});
    }
    if (time) {
        args.insert(args.end(), {"-time", std::to_string(*time)});
    }
    const fs::path signedProgram = fs::absolute(program).concat(".signed");
    args.insert(args.end(), {"-in", fs::absolute(program).string(), "-out", signedProgram.string()});
    const ToolResult signing = RunTool("osslsigncode", args);
    if (signing.status != 0) {
        throw std::runtime_error("osslsigncode could not sign the program: " + Reason(signing.output));
    }
    // A certificate from a public authority chains to the system's roots; one made in-house to itself.
    std::ofstream(scratch / "chain.pem", std::ios::app) << std::ifstream("/etc/ssl/certs/ca-certificates.crt").rdbuf();
    const ToolResult verified =
        RunTool("osslsigncode", {"verify", "-in", signedProgram.string(), "-CAfile", scratch / "chain.pem"});
    if (verified.status != 0) {
        throw std::runtime_error("the signature that osslsigncode made does not verify: " + Reason(verified.output));
    }
    fs::rename(signedProgram, program);
}

} // namespace tovira::kit

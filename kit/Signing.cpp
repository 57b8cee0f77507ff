#include "kit/Signing.h"

#include "kit/Tool.h"

#include <cstdlib>
#include <fstream>
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

private:
    fs::path path_;
};

std::string Quoted(const fs::path& path) {
    return "\"" + path.string() + "\"";
}

// The password goes to openssl and osslsigncode as the name of its file, never on a command line.
ToolResult OpenPkcs12(const SignPlan& sign, std::vector<std::string> extra) {
    std::vector<std::string> args = {"pkcs12", "-in", fs::absolute(sign.pkcs12).string(), "-passin",
                                     "file:" + fs::absolute(sign.passwordFile).string()};
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
    const Scratch scratch;
    const ToolResult opened = OpenPkcs12(sign, {"-nokeys", "-clcerts", "-out", scratch / "signer.pem"});
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
    const Scratch scratch;
    const ToolResult chain = OpenPkcs12(sign, {"-nokeys", "-out", scratch / "chain.pem"});
    if (chain.status != 0) {
        throw std::runtime_error("openssl could not read the signing certificate: " + Reason(chain.output));
    }
    std::vector<std::string> args = {
        "sign", "-pkcs12", fs::absolute(sign.pkcs12).string(), "-readpass", fs::absolute(sign.passwordFile).string(),
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

#include "FakeServices.h"

#include <algorithm>

namespace tovira::test {

void FakeServices::Record(std::string operation, std::vector<std::string> arguments) {
    calls.push_back(Call{std::move(operation), std::move(arguments), busy});
}

void FakeServices::FailIfTold(const std::string& operation) {
    auto found = failures.find(operation);
    if (found != failures.end() && !found->second.empty()) {
        RuntimeError error = found->second.front();
        found->second.pop_front();
        throw error;
    }
}

int FakeServices::ShowMessage(const std::string& text, int style) {
    Record("ShowMessage", {text, std::to_string(style)});
    FailIfTold("ShowMessage");
    if (messageAnswers.empty()) {
        return kAnswerOk;
    }
    int answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
}

void FakeServices::StartProgram(const std::string& commandLine, int showState) {
    Record("StartProgram", {commandLine, std::to_string(showState)});
    FailIfTold("StartProgram");
}

void FakeServices::StartProgramWithConsent(const std::string& commandLine, int showState) {
    Record("StartProgramWithConsent", {commandLine, std::to_string(showState)});
    FailIfTold("StartProgramWithConsent");
}

bool FakeServices::RunsElevated() {
    Record("RunsElevated", {});
    return elevated;
}

int FakeServices::RunElevated(const std::string& programPath, const std::string& arguments) {
    Record("RunElevated", {programPath, arguments});
    FailIfTold("RunElevated");
    return elevatedExitCode;
}

bool FakeServices::ShellExecuteOpen(const std::string& documentPath, int showState) {
    Record("ShellExecuteOpen", {documentPath, std::to_string(showState)});
    return shellOpens;
}

void FakeServices::ActivateWindow(const std::string& title, bool waitForFocus) {
    Record("ActivateWindow", {title, waitForFocus ? "wait" : "nowait"});
    FailIfTold("ActivateWindow");
}

std::string FakeServices::ListFiles(const std::string& pattern) {
    Record("ListFiles", {pattern});
    FailIfTold("ListFiles");
    auto found = folderListing.find(pattern);
    listing_ = found == folderListing.end() ? std::vector<std::string>{} : found->second;
    listed_ = 0;
    return ListNextFile();
}

// A refused content is refused before anything is copied: the call is recorded only when the check lets it through.
void FakeServices::CopyFileReplacing(const std::string& source, const std::string& destination,
                                     const ContentCheck& check) {
    const std::string& content = fileContents[source];
    check(Sha256Of({reinterpret_cast<const unsigned char*>(content.data()), content.size()}));
    Record("CopyFileReplacing", {source, destination});
    FailIfTold("CopyFileReplacing");
}

std::string FakeServices::SystemFolder() {
    Record("SystemFolder", {});
    FailIfTold("SystemFolder");
    return systemFolder;
}

std::string FakeServices::ApplicationFolder() {
    FailIfTold("ApplicationFolder");
    return applicationFolder;
}

PicturePtr FakeServices::LoadPictureFile(const std::string& path) {
    Record("LoadPictureFile", {path});
    FailIfTold("LoadPictureFile");
    return std::make_shared<FakePicture>(421, 332);
}

void FakeServices::SetBusyCursor(bool on) {
    busy = on;
    Record("SetBusyCursor", {on ? "on" : "off"});
}

// As the runtime: Load runs when the form's window is made, not again while it is there.
void FakeServices::LoadForm(Form& form) {
    Record("LoadForm", {form.name});
    if (std::find(loadedForms.begin(), loadedForms.end(), &form) == loadedForms.end()) {
        loadedForms.push_back(&form);
        if (form.Load) {
            form.Load();
        }
    }
}

void FakeServices::ShowWindowModal(Form& form) {
    Record("ShowWindowModal", {form.name});
    if (whileModal) {
        whileModal(form);
    }
}

void FakeServices::EndProgram() {
    Record("EndProgram", {});
    throw ProgramEnded{};
}

std::vector<std::string> FakeServices::Operations() const {
    std::vector<std::string> operations;
    for (const Call& call : calls) {
        operations.push_back(call.operation);
    }
    return operations;
}

std::vector<Call> FakeServices::CallsOf(const std::string& operation) const {
    std::vector<Call> matching;
    for (const Call& call : calls) {
        if (call.operation == operation) {
            matching.push_back(call);
        }
    }
    return matching;
}

} // namespace tovira::test

#pragma once

#include "platform/Form.h"
#include "platform/RuntimeError.h"
#include "platform/Services.h"

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tovira::test {

struct FakePicture final : Picture {
    FakePicture(int w, int h) : width(w), height(h) {}
    int WidthPixels() const override { return width; }
    int HeightPixels() const override { return height; }
    int width;
    int height;
};

// One recorded call: the operation, its arguments as text, and whether the busy cursor was on.
struct Call {
    std::string operation;
    std::vector<std::string> arguments;
    bool busy = false;
};

// Records every call and answers as the test tells it.
class FakeServices final : public Services {
public:
    int ShowMessage(const std::string& text, int style) override;
    void StartProgram(const std::string& commandLine, int showState) override;
    void StartProgramWithConsent(const std::string& commandLine, int showState) override;
    bool RunsElevated() override;
    int RunElevated(const std::string& programPath, const std::string& arguments) override;
    bool ProgramIsSigned() override { return programSigned; }
    ComponentList ShippedComponents() override { return shippedComponents; }
    bool ShellExecuteOpen(const std::string& documentPath, int showState) override;
    void ActivateWindow(const std::string& title, bool waitForFocus) override;
    std::string ListFiles(const std::string& pattern) override;
    std::string ListNextFile() override { return listed_ < listing_.size() ? listing_[listed_++] : std::string(); }
    void CopyFileReplacing(const std::string& source, const std::string& destination,
                           const ContentCheck& check) override;
    std::string SystemFolder() override;
    std::string ApplicationFolder() override;
    std::string ProgramPath() override { return applicationFolder + "\\Tovira.exe"; }
    std::string NetworkPath(const std::string& p) override { return networkPaths.contains(p) ? networkPaths.at(p) : p; }
    PicturePtr LoadPictureFile(const std::string& path) override;
    ScreenTwips ScreenSize() override { return screen; }
    void SetBusyCursor(bool on) override;
    void LoadForm(Form& form) override;
    void ShowWindowModal(Form& form) override;
    [[noreturn]] void EndProgram() override;

    // What to answer.
    std::deque<int> messageAnswers; // kAnswerOk when empty
    std::map<std::string, std::vector<std::string>> folderListing;
    std::string applicationFolder = "C:\\Docs";
    std::string systemFolder = "C:\\Windows\\system32";
    ScreenTwips screen{15360, 11520};
    bool shellOpens = true;
    bool elevated = true;
    int elevatedExitCode = 0;
    bool programSigned = false;
    ComponentList shippedComponents;
    std::map<std::string, std::string> fileContents; // of the files copied, by path; empty where not named
    std::map<std::string, std::string> networkPaths; // paths on drives mapped to shares, with the share's own path
    // Operations that fail, with the error they raise; a failure is used once per entry.
    std::map<std::string, std::deque<RuntimeError>> failures;
    // Runs while a modal window is shown, as the user would act on it.
    std::function<void(Form&)> whileModal;

    // What happened.
    std::vector<Call> calls;
    bool busy = false;
    std::vector<Form*> loadedForms; // each once, in the order of their first LoadForm

    std::vector<std::string> Operations() const;
    // The calls of one operation, in order.
    std::vector<Call> CallsOf(const std::string& operation) const;

private:
    void Record(std::string operation, std::vector<std::string> arguments);
    void FailIfTold(const std::string& operation);

    std::vector<std::string> listing_;
    std::size_t listed_ = 0;
};

} // namespace tovira::test

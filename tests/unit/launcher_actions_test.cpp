#include "BuildSettings.h"
#include "ErrorNumberOf.h"
#include "FakeServices.h"
#include "launcher/frmInstalador.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

namespace tovira {
namespace {

using test::Call;
using test::ErrorNumberOf;
using test::FakeServices;

const std::string kWarning =
    "Não foi possível abrir o Manual.\r\rSe o Acrobat Reader não estiver Instalado em seu Computador, clique em "
    "''Instalar Acrobat Reader'' para Instala-lo agora.\rSe já estiver Instalado, e mesmo assim o Aplicativo não "
    "pode abrir o Manual, verifique se o arquivo ''Indice.pdf'' esta localizado no mesmo diretório que este "
    "Aplicativo (tovira.exe).";

struct Actions : ::testing::Test {
    FakeServices services;
    frmInstalador form{services};
};

TEST_F(Actions, InstallAsksWithTheHourglassOnThenStartsTheQuotedInstaller) {
    for (const auto& [folder, installer] :
         {std::pair{"D:\\Docs", "\"D:\\Docs\\rs40eng.exe\""}, std::pair{"D:\\", "\"D:\\rs40eng.exe\""}}) {
        services.calls.clear();
        services.applicationFolder = folder;
        services.messageAnswers = {kAnswerYes};
        form.Label1_Click();
        ASSERT_EQ(services.Operations(),
                  (std::vector<std::string>{"SetBusyCursor", "ShowMessage", "StartProgram", "SetBusyCursor"}));
        const Call& question = services.calls[1];
        EXPECT_EQ(question.arguments,
                  (std::vector<std::string>{"Deseja iniciar a Instalação do Acrobat Reader agora?", "36"}));
        EXPECT_TRUE(question.busy);
        EXPECT_EQ(services.calls[2].arguments, (std::vector<std::string>{installer, "1"}));
        EXPECT_FALSE(services.busy);
    }
}

TEST_F(Actions, InstallFromAFolderWithSpacesQuotesThePath) {
    services.applicationFolder = "D:\\Meus Manuais";
    services.messageAnswers = {kAnswerYes};
    form.Label1_Click();
    EXPECT_EQ(services.CallsOf("StartProgram").at(0).arguments[0], "\"D:\\Meus Manuais\\rs40eng.exe\"");
}

TEST_F(Actions, InstallAnsweredNoStartsNothingAndEndsWithTheNormalPointer) {
    services.messageAnswers = {kAnswerNo};
    form.Label1_Click();
    EXPECT_TRUE(services.CallsOf("StartProgram").empty());
    EXPECT_FALSE(services.busy);
}

TEST_F(Actions, MissingInstallerLeavesTheErrorToTheRuntimeWithTheHourglassStillOn) {
    services.messageAnswers = {kAnswerYes};
    services.failures["StartProgram"].push_back(RuntimeError(kErrFileNotFound));
    EXPECT_EQ(ErrorNumberOf([&] { form.Label1_Click(); }), kErrFileNotFound) << "the error must reach the runtime";
    EXPECT_TRUE(services.busy);
}

TEST_F(Actions, AnInstallerThatWantsAnAdministratorAndOnlySuchStartsThroughTheShell) {
    services.messageAnswers = {kAnswerYes, kAnswerYes, kAnswerYes};
    services.failures["StartProgram"] = {RuntimeError::ElevationRequired(), RuntimeError::ElevationRequired(),
                                         RuntimeError(kErrPermissionDenied)};
    form.Label1_Click();
    EXPECT_EQ(services.Operations(), (std::vector<std::string>{"SetBusyCursor", "ShowMessage", "StartProgram",
                                                               "StartProgramWithConsent", "SetBusyCursor"}));
    EXPECT_EQ(services.calls[3].arguments, (std::vector<std::string>{"C:\\Docs\\rs40eng.exe", "1"}));
    services.failures["StartProgramWithConsent"].push_back(RuntimeError(kErrConsentRefused));
    EXPECT_EQ(ErrorNumberOf([&] { form.Label1_Click(); }), kErrConsentRefused) << "a refused prompt is reported";
    EXPECT_EQ(ErrorNumberOf([&] { form.Label1_Click(); }), kErrPermissionDenied);
    EXPECT_EQ(services.CallsOf("StartProgramWithConsent").size(), 2u) << "any other refusal is reported at once";
}

// A click reaches an item through the place where it is drawn: the control under the point and the procedure that
// its click slot is bound to, so a row wired to another row's action, or covered by another control, fails here.
TEST(ActionsByPlace, AClickOnARowsTextRunsThatRowsActionOnly) {
    const struct {
        double x, y;
        std::vector<std::string> operations;
        std::vector<std::string> startArguments;
    } rows[] = {
        {600, 2340, {"StartProgram"}, {"Explorer.exe", "3"}}, // "Explorar", started maximised without an hourglass
        {600, 2820, {"EndProgram"}, {}},                      // "Finalizar", at once, without a question
    };
    for (const auto& row : rows) {
        FakeServices services;
        frmInstalador form{services};
        Control* control = form.HitTest(row.x, row.y);
        ASSERT_NE(control, nullptr) << row.x << "," << row.y;
        ASSERT_TRUE(control->Click);
        try {
            control->Click();
        } catch (const ProgramEnded&) {
        }
        EXPECT_EQ(services.Operations(), row.operations) << control->name;
        if (!row.startArguments.empty()) {
            EXPECT_EQ(services.calls[0].arguments, row.startArguments);
            EXPECT_FALSE(services.calls[0].busy);
        }
    }
}

TEST_F(Actions, ManualOpensTheDocumentAndBringsTheReaderForwardWithoutComplaint) {
    services.applicationFolder = "D:\\";
    services.failures["ActivateWindow"].push_back(RuntimeError(kErrInvalidCall));
    form.Label3_Click();
    EXPECT_EQ(services.Operations(), (std::vector<std::string>{"ShellExecuteOpen", "ActivateWindow"}));
    EXPECT_EQ(services.calls[0].arguments, (std::vector<std::string>{"D:\\\\Indice.pdf", "3"}));
    EXPECT_EQ(services.calls[1].arguments, (std::vector<std::string>{"Acrobat Reader", "wait"}));
}

TEST_F(Actions, ManualThatTheShellCannotOpenShowsExactlyOneWarning) {
    services.shellOpens = false;
    form.Label3_Click();
    EXPECT_EQ(services.Operations(), (std::vector<std::string>{"ShellExecuteOpen", "ShowMessage"}));
    EXPECT_EQ(services.calls[0].arguments[0], "C:\\Docs\\Indice.pdf");
    EXPECT_EQ(services.calls[1].arguments, (std::vector<std::string>{kWarning, "48"}));
    const std::string& shown = services.calls[1].arguments[0];
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\r'), 3);
}

TEST_F(Actions, ManualWithAnUnreadableFolderShowsTheWarningToo) {
    services.failures["ApplicationFolder"].push_back(RuntimeError(kErrPathNotFound));
    form.Label3_Click();
    EXPECT_EQ(services.Operations(), (std::vector<std::string>{"ShowMessage"}));
}

TEST_F(Actions, SiteStartsTheOldStartCommandHiddenWithTheHourglassAround) {
    form.Label7_Click();
    EXPECT_EQ(services.Operations(), (std::vector<std::string>{"SetBusyCursor", "StartProgram", "SetBusyCursor"}));
    EXPECT_EQ(services.calls[1].arguments,
              (std::vector<std::string>{std::string("c:\\windows\\command\\start ") + kVendorWebAddress, "0"}));
    EXPECT_TRUE(services.calls[1].busy);
    EXPECT_FALSE(services.busy);
    EXPECT_EQ(form.Label7.toolTipText, kVendorWebAddress);
}

TEST_F(Actions, SiteFallsBackToTheShellOnlyWhenTheStartCommandIsMissingAndOnlyThenFails) {
    services.failures["StartProgram"].push_back(RuntimeError(kErrPathNotFound));
    form.Label7_Click();
    EXPECT_EQ(services.CallsOf("ShellExecuteOpen").at(0).arguments, (std::vector<std::string>{kVendorWebAddress, "1"}));
    EXPECT_FALSE(services.busy);

    services.failures["StartProgram"].push_back(RuntimeError(kErrPermissionDenied));
    EXPECT_EQ(ErrorNumberOf([&] { form.Label7_Click(); }), kErrPermissionDenied);
    EXPECT_EQ(services.CallsOf("ShellExecuteOpen").size(), 1u) << "no other failure falls back";

    services.failures["StartProgram"].push_back(RuntimeError(kErrFileNotFound));
    services.shellOpens = false;
    EXPECT_EQ(ErrorNumberOf([&] { form.Label7_Click(); }), kErrFileNotFound)
        << "both ways failed: the error must reach the runtime";
}

} // namespace
} // namespace tovira

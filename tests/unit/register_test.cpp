#include "FakeServices.h"
#include "register/Registrar.h"
#include "register/frmRegister.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>
#include <utility>

namespace tovira {
namespace {

using test::FakeServices;

struct Register : ::testing::Test {
    FakeServices services;
    frmRegister form{services};

    void Load() { services.LoadForm(form); }
};

TEST_F(Register, ListsComponentLibrariesBeforeControlsInListingOrderUnsorted) {
    services.applicationFolder = "D:\\";
    services.folderListing["D:\\\\*.dll"] = {"zeta.dll", "alpha.dll"};
    services.folderListing["D:\\\\*.ocx"] = {"grid.ocx"};
    Load();
    Load(); // the window is there already: nothing runs again
    EXPECT_EQ(form.lstArquivos.items, (std::vector<std::string>{"zeta.dll", "alpha.dll", "grid.ocx"}));
    EXPECT_EQ(form.lstArquivos.listIndex, -1);
    auto listings = services.CallsOf("ListFiles");
    ASSERT_EQ(listings.size(), 2u);
    EXPECT_EQ(listings[0].arguments[0], "D:\\\\*.dll");
    EXPECT_EQ(listings[1].arguments[0], "D:\\\\*.ocx");
}

TEST_F(Register, RegisteringWithoutASelectionWarnsAndLeavesThePointerAlone) {
    for (bool withEntries : {false, true}) {
        services.calls.clear();
        if (withEntries) {
            form.lstArquivos.items = {"a.dll", "b.ocx"};
        }
        form.cmdRegArquivo_Click();
        EXPECT_EQ(services.Operations(), (std::vector<std::string>{"ShowMessage"}));
        EXPECT_EQ(services.calls[0].arguments, (std::vector<std::string>{"Selecione um Arquivo para Registro.", "48"}));
    }
}

TEST_F(Register, RegisteringCopiesIntoTheSystemFolderStartsTheToolWithTheQuotedPathAndEnds) {
    services.applicationFolder = "D:\\";
    form.lstArquivos.items = {"a.dll", "my comp.dll"};
    form.lstArquivos.listIndex = 1;
    EXPECT_THROW(form.cmdRegArquivo_Click(), ProgramEnded);
    EXPECT_EQ(services.Operations(),
              (std::vector<std::string>{"SetBusyCursor", "RunsElevated", "SystemFolder", "CopyFileReplacing",
                                        "StartProgram", "SetBusyCursor", "EndProgram"}));
    EXPECT_EQ(services.CallsOf("CopyFileReplacing")[0].arguments,
              (std::vector<std::string>{"D:\\\\my comp.dll", "C:\\Windows\\system32\\my comp.dll"}));
    const auto start = services.CallsOf("StartProgram")[0];
    EXPECT_EQ(start.arguments, (std::vector<std::string>{"Regsvr32 \"C:\\Windows\\system32\\my comp.dll\"", "1"}));
    EXPECT_TRUE(start.busy);
    EXPECT_FALSE(services.busy);
}

TEST_F(Register, AFailedCopyReportsWithTheHourglassOnAndKeepsTheWindowForAnotherTry) {
    form.lstArquivos.items = {"a.dll"};
    form.lstArquivos.listIndex = 0;
    services.failures["CopyFileReplacing"].push_back(RuntimeError(kErrFileNotFound));
    form.cmdRegArquivo_Click();
    const auto boxes = services.CallsOf("ShowMessage");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].arguments,
              (std::vector<std::string>{"O Arquivo não pode ser Registrado.\rErro: 53 - Arquivo não encontrado", "0"}));
    EXPECT_TRUE(boxes[0].busy);
    EXPECT_FALSE(services.busy);
    EXPECT_TRUE(services.CallsOf("StartProgram").empty());
    EXPECT_EQ(form.lstArquivos.listIndex, 0);
    EXPECT_EQ(form.lstArquivos.items.size(), 1u);

    EXPECT_THROW(form.cmdRegArquivo_Click(), ProgramEnded) << "the second try goes through";
}

TEST_F(Register, ATrueFailureOfTheToolIsReportedToo) {
    form.lstArquivos.items = {"a.dll"};
    form.lstArquivos.listIndex = 0;
    services.failures["StartProgram"].push_back(RuntimeError(kErrFileNotFound));
    form.cmdRegArquivo_Click();
    EXPECT_EQ(services.CallsOf("CopyFileReplacing").size(), 1u) << "the copy already made stays";
    const auto boxes = services.CallsOf("ShowMessage");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].arguments,
              (std::vector<std::string>{"O Arquivo não pode ser Registrado.\rErro: 53 - Arquivo não encontrado", "0"}));
    EXPECT_EQ(services.Operations().back(), "SetBusyCursor");
    EXPECT_FALSE(services.busy);
}

// The elevated session has none of the user's drive letters: a mapped drive's program is started by the share's path.
TEST_F(Register, AStandardUserRegistersThroughAnElevatedInstanceWhoseFailureReachesTheBox) {
    form.lstArquivos.items = {"a.dll", "my comp.dll"};
    form.lstArquivos.listIndex = 1;
    services.elevated = false;
    services.applicationFolder = "Z:\\Manual";
    services.networkPaths["Z:\\Manual\\Tovira.exe"] = "\\\\server\\docs\\Manual\\Tovira.exe";
    const std::pair<int, std::string> failures[] = {
        {kErrPathFileAccess, "Erro: 75 - Erro de acesso ao caminho/arquivo"},
        {kRegistrarRefused, "Erro: 53 - Arquivo não encontrado"},
        {kErrComponentNotShipped, "Erro: 32100 - Componente não faz parte deste disco"},
        {-1073741819, "Erro: 5 - Chamada de procedimento ou argumento inválido"}, // its crash
        {0, "Erro: 32755 - Permissão de administrador recusada"},                 // consent refused
    };
    for (const auto& [exitCode, error] : failures) {
        services.calls.clear();
        services.elevatedExitCode = exitCode;
        if (exitCode == 0) {
            services.failures["RunElevated"].push_back(RuntimeError(kErrConsentRefused));
        }
        form.cmdRegArquivo_Click();
        EXPECT_EQ(services.Operations(), (std::vector<std::string>{"SetBusyCursor", "RunsElevated", "RunElevated",
                                                                   "ShowMessage", "SetBusyCursor"}));
        EXPECT_EQ(services.calls[2].arguments,
                  (std::vector<std::string>{"\\\\server\\docs\\Manual\\Tovira.exe", "/registrar \"my comp.dll\""}));
        EXPECT_EQ(services.calls[3].arguments,
                  (std::vector<std::string>{"O Arquivo não pode ser Registrado.\r" + error, "0"}));
    }

    services.calls.clear();
    form.lstArquivos.listIndex = 0;
    EXPECT_THROW(form.cmdRegArquivo_Click(), ProgramEnded);
    EXPECT_EQ(services.Operations(), (std::vector<std::string>{"SetBusyCursor", "RunsElevated", "RunElevated",
                                                               "SetBusyCursor", "EndProgram"}));
    EXPECT_EQ(services.calls[2].arguments[1], "/registrar a.dll");
}

// The elevated instance takes its argument from anyone: only a plain name of a component in its folder, as the
// folder's listing names it, is copied and registered.
TEST(Registrar, RegistersOnlyAPlainNameOfAComponentInItsOwnFolder) {
    FakeServices services;
    for (const char* name : {"x.dll", "my comp.ocx", "NUL.dll"}) {
        services.folderListing[std::string("C:\\Docs\\") + name] = {name};
    }
    services.folderListing["C:\\Docs\\X.DLL"] = {"x.dll"};
    EXPECT_EQ(RunRegistrarCommand(services, "/registrar x.dll"), 0);
    EXPECT_EQ(RunRegistrarCommand(services, "/registrar \"my comp.ocx\""), 0);
    EXPECT_EQ(services.CallsOf("StartProgram").at(1).arguments[0], "Regsvr32 \"C:\\Windows\\system32\\my comp.ocx\"");
    services.calls.clear();
    for (const char* name : {"..\\x.dll", "C:\\x.dll", "sub\\x.dll", "sub/x.dll", "x.exe", "NUL.dll", "com1.ocx",
                             "nul .dll", "LPT\xC2\xB9.dll", "CONOUT$.dll", "x.dll:s", "\"x.dll", "x.dll y.dll",
                             "my comp.ocx", "x?.dll", "", " x.dll", "missing.dll", "X.DLL"}) {
        EXPECT_EQ(RunRegistrarCommand(services, std::string("/registrar ") + name), kRegistrarRefused) << name;
    }
    EXPECT_TRUE(services.CallsOf("CopyFileReplacing").empty()) << "X.DLL: the listing names it otherwise";

    services.failures["CopyFileReplacing"].push_back(RuntimeError(kErrPathFileAccess));
    EXPECT_EQ(RunRegistrarCommand(services, "/registrar x.dll"), kErrPathFileAccess);
    EXPECT_TRUE(services.CallsOf("StartProgram").empty());
    for (const char* other : {"", "  ", "/other x.dll", "/registrarx x.dll", "x.dll"}) {
        EXPECT_EQ(RunRegistrarCommand(services, other), std::nullopt) << "the windows start for " << other;
    }
}

// A program vouches for what it registers: with a list, only the contents listed; signed without one, nothing; with
// neither (a developer's build), every component as ever. Both ways of registering decide alike, before any copy.
TEST(Registrar, RegistersOnlyTheComponentsThatTheProgramLists) {
    std::mt19937 noise(28);
    std::string shipped(6000, '\0'), foreign(6000, '\0');
    std::generate(shipped.begin(), shipped.end(), [&] { return static_cast<char>(noise()); });
    std::generate(foreign.begin(), foreign.end(), [&] { return static_cast<char>(noise()); });
    std::string changed = shipped;
    changed[4321] = static_cast<char>(changed[4321] ^ 1);
    const Sha256Digest listed = Sha256Of({reinterpret_cast<const unsigned char*>(shipped.data()), shipped.size()});
    const std::tuple<const char*, std::string, bool, bool, bool> cases[] = {
        {"listed, signed", shipped, true, true, true},    {"listed, unsigned", shipped, true, false, true},
        {"not listed", foreign, true, true, false},       {"a byte changed", changed, true, false, false},
        {"signed, no list", shipped, false, true, false}, {"neither", foreign, false, false, true}};
    for (const auto& [what, content, filled, isSigned, registers] : cases) {
        FakeServices services;
        frmRegister form{services};
        form.lstArquivos.items = {"a.dll"};
        form.lstArquivos.listIndex = 0;
        services.folderListing["C:\\Docs\\a.dll"] = {"a.dll"};
        services.fileContents["C:\\Docs\\a.dll"] = content;
        services.programSigned = isSigned;
        services.shippedComponents = ComponentList{filled, {Sha256Of({}), listed}};
        EXPECT_EQ(RunRegistrarCommand(services, "/registrar a.dll"), registers ? 0 : kErrComponentNotShipped) << what;
        if (registers) {
            EXPECT_THROW(form.cmdRegArquivo_Click(), ProgramEnded) << what;
            continue;
        }
        form.cmdRegArquivo_Click();
        EXPECT_EQ(services.CallsOf("ShowMessage").at(0).arguments[0],
                  "O Arquivo não pode ser Registrado.\rErro: 32100 - Componente não faz parte deste disco");
        EXPECT_EQ(services.CallsOf("CopyFileReplacing").size() + services.CallsOf("StartProgram").size(), 0u) << what;
    }
}

TEST_F(Register, CancelEndsAtOnceEvenWithASelection) {
    form.lstArquivos.items = {"a.dll"};
    form.lstArquivos.listIndex = 0;
    EXPECT_THROW(form.cmdCancela_Click(), ProgramEnded);
    EXPECT_EQ(services.Operations(), (std::vector<std::string>{"EndProgram"}));
}

// The instruction points at "a mensagem abaixo": the error text that the launcher writes into lblErro must stand
// below it, and both keep their boxes and wrap inside them, the instruction as one paragraph.
TEST_F(Register, TheInstructionIsOneParagraphAboveTheErrorTextItPointsTo) {
    EXPECT_NE(form.Label1.caption.find("mensagem abaixo"), std::string::npos);
    EXPECT_EQ(form.Label1.caption.find('\r'), std::string::npos);
    EXPECT_LE(form.Label1.top + form.Label1.height, form.Frame1.top);
    EXPECT_LE(form.Frame1.top + form.Frame1.height, form.lblErro.top);
    for (const Label* label : {&form.Label1, &form.lblErro}) {
        EXPECT_TRUE(label->wordWrap && !label->autoSize && label->borderSingle) << label->name;
    }
}

} // namespace
} // namespace tovira

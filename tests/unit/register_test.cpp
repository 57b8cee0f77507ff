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

// A program vouches for what it registers. The kit fills the block in place among the program's bytes (noise, as code
// and data are); with a list, only the contents listed register; signed without one, nothing; with neither (a
// developer's build), every component as ever. Both ways of registering decide alike, before any copy.
TEST(Registrar, RegistersOnlyTheComponentsThatTheKitListedInTheProgram) {
    std::mt19937 random(28);
    std::string noise(200000, '\0');
    std::generate(noise.begin(), noise.end(), [&] { return static_cast<char>(random()); });
    const std::string shipped = noise.substr(0, 6000), foreign = noise.substr(6000, 6000);
    const std::string changed = shipped.substr(0, 4321) + static_cast<char>(shipped[4321] ^ 1) + shipped.substr(4322);
    const std::vector<unsigned char> block = OwnComponentBlock();
    const std::size_t at = 123457;
    std::vector<unsigned char> program(noise.begin(), noise.end());
    std::copy(block.begin(), block.end(), program.begin() + at);
    const std::vector<unsigned char> before = program;
    const auto parsed = [&] { return ParseComponentList(std::span(program).subspan(at)); };
    const ComponentList unfilled = parsed();
    const Sha256Digest listed = Sha256Of({program.data(), 6000}), other = Sha256Of({program.data(), 1000});
    ASSERT_EQ(FillComponentList(program, {listed, other, listed}), "");
    EXPECT_TRUE(
        std::equal(program.begin() + at + kComponentListSize, program.end(), before.begin() + at + kComponentListSize));
    EXPECT_TRUE(std::equal(program.begin(), program.begin() + at, before.begin()));
    EXPECT_EQ(parsed().digests, (std::vector<Sha256Digest>{std::min(listed, other), std::max(listed, other)}));
    const std::tuple<const char*, std::string, ComponentList, bool, bool> cases[] = {
        {"listed, signed", shipped, parsed(), true, true},   {"listed, unsigned", shipped, parsed(), false, true},
        {"not listed", foreign, parsed(), true, false},      {"a byte changed", changed, parsed(), false, false},
        {"signed, no list", shipped, unfilled, true, false}, {"neither", foreign, unfilled, false, true}};
    for (const auto& [what, content, list, isSigned, registers] : cases) {
        FakeServices services;
        frmRegister form{services};
        form.lstArquivos.items = {"a.dll"};
        form.lstArquivos.listIndex = 0;
        services.folderListing["C:\\Docs\\a.dll"] = {"a.dll"};
        services.fileContents["C:\\Docs\\a.dll"] = content;
        services.programSigned = isSigned;
        services.shippedComponents = list;
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

    // A count that the block cannot hold lists nothing; a block twice or cut short is refused. The kit's own tests
    // refuse a program without the block, and more components than it holds.
    program[at + 20] = 65; // the count
    EXPECT_TRUE(parsed().filled && parsed().digests.empty());
    program[at + 20] = 3;
    EXPECT_TRUE(ParseComponentList({program.data() + at, 24 + 2 * 32}).digests.empty());
    std::vector<unsigned char> twice = before;
    twice.insert(twice.end(), block.begin(), block.end());
    EXPECT_NE(FillComponentList(twice, {}).find("more than once"), std::string::npos);
    std::vector<unsigned char> cut(before.begin(), before.begin() + at + 100);
    EXPECT_NE(FillComponentList(cut, {}).find("past the file"), std::string::npos);
}

// The FIPS 180-4 examples, each also fed in uneven pieces, so that every way a piece meets the 64-byte blocks is taken.
TEST(Sha256, GivesTheStandardsDigestsInPiecesOfAnySize) {
    const std::pair<std::string, const char*> vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [message, expected] : vectors) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
        for (std::size_t piece : {message.size() + 1, std::size_t{1}, std::size_t{63}, std::size_t{65}}) {
            Sha256 sum;
            for (std::size_t at = 0; at < message.size(); at += piece) {
                sum.Add({bytes + at, std::min(piece, message.size() - at)});
            }
            std::string hex;
            for (unsigned char byte : sum.Finish()) {
                hex += {"0123456789abcdef"[byte >> 4], "0123456789abcdef"[byte & 15]};
            }
            EXPECT_EQ(hex, expected) << message.size() << " bytes in pieces of " << piece;
        }
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

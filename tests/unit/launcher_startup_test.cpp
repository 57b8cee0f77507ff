#include "ErrorNumberOf.h"
#include "FakeServices.h"
#include "launcher/frmInstalador.h"

#include <gtest/gtest.h>

#include <limits>

namespace tovira {
namespace {

using test::ErrorNumberOf;
using test::FakeServices;

std::size_t CodePoints(const std::string& utf8) {
    std::size_t count = 0;
    for (unsigned char byte : utf8) {
        count += (byte & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

struct Startup : ::testing::Test {
    FakeServices services;
    frmInstalador form{services};
    Startup() {
        form.width = 9435;
        form.height = 5370;
    }
    // The registration window, which only the start-up error handler makes.
    frmRegister* RegisterWindow() const {
        for (Form* loaded : services.loadedForms) {
            if (auto* window = dynamic_cast<frmRegister*>(loaded)) {
                return window;
            }
        }
        return nullptr;
    }
};

TEST_F(Startup, CentresUnroundedFromTheOuterSizeAndFitsTheLogoBox) {
    form.Form_Load();
    EXPECT_DOUBLE_EQ(form.left, 2962.5);
    EXPECT_DOUBLE_EQ(form.top, 11520.0 / 2 - 5370.0 / 2);
    EXPECT_DOUBLE_EQ(form.pctLogo.left, 3120);
    EXPECT_DOUBLE_EQ(form.pctLogo.top, 0);
    EXPECT_DOUBLE_EQ(form.pctLogo.width, 9435 - 3120);
    EXPECT_DOUBLE_EQ(form.pctLogo.height, 5370 - 200);
    ASSERT_NE(form.pctLogo.picture, nullptr);
    EXPECT_TRUE(form.pctLogo.visible);
    EXPECT_EQ(RegisterWindow(), nullptr);
}

TEST_F(Startup, AWindowLargerThanTheScreenGetsNegativePositions) {
    services.screen = {6000, 3000};
    form.Form_Load();
    EXPECT_DOUBLE_EQ(form.left, 3000 - 4717.5);
    EXPECT_DOUBLE_EQ(form.top, 1500 - 2685);
}

TEST_F(Startup, LogoPathGetsABackslashOnlyWhereTheFolderLacksOne) {
    form.Form_Load();
    services.applicationFolder = "D:\\";
    frmInstalador atRoot{services};
    atRoot.Form_Load();
    auto loads = services.CallsOf("LoadPictureFile");
    ASSERT_EQ(loads.size(), 2u);
    EXPECT_EQ(loads[0].arguments[0], "C:\\Docs\\imgLogo.bmp");
    EXPECT_EQ(loads[1].arguments[0], "D:\\imgLogo.bmp");
}

TEST_F(Startup, MissingLogoOpensTheFilledRegistrationWindowModallyWithTheErrorText) {
    services.failures["LoadPictureFile"].push_back(RuntimeError(kErrFileNotFound));
    services.folderListing["C:\\Docs\\*.dll"] = {"b.dll", "a.dll"};
    services.folderListing["C:\\Docs\\*.ocx"] = {"c.ocx"};
    std::string captionWhileShown;
    std::vector<std::string> listWhileShown;
    services.whileModal = [&](Form& shown) {
        auto& window = dynamic_cast<frmRegister&>(shown);
        captionWhileShown = window.lblErro.caption;
        listWhileShown = window.lstArquivos.items;
    };
    form.Form_Load();

    ASSERT_NE(RegisterWindow(), nullptr);
    EXPECT_EQ(captionWhileShown, "Erro N°: 53\rDescrição: Arquivo não encontrado");
    EXPECT_EQ(listWhileShown, (std::vector<std::string>{"b.dll", "a.dll", "c.ocx"}));
    EXPECT_EQ(services.Operations(),
              (std::vector<std::string>{"LoadPictureFile", "LoadForm", "ListFiles", "ListFiles", "ShowWindowModal"}));
    EXPECT_EQ(services.CallsOf("ShowWindowModal")[0].arguments[0], "frmRegister");
    // The completed steps stay done; the logo box keeps its new place but stays hidden over the placeholder.
    EXPECT_DOUBLE_EQ(form.left, 2962.5);
    EXPECT_DOUBLE_EQ(form.pctLogo.width, 9435 - 3120);
    EXPECT_FALSE(form.pctLogo.visible);
    EXPECT_EQ(form.pctLogo.picture, nullptr);
    EXPECT_TRUE(form.Label6.visible);
    EXPECT_EQ(CodePoints(form.Label6.caption), 85u);
    EXPECT_EQ(form.Label6.caption,
              "Espaço reservado para o Logotipo da Empresa. (\"<Local deste Aplicativo>\\ImgLogo.bmp\")");
}

TEST_F(Startup, ErrorNumbersNotAboveZeroAreDropped) {
    services.failures["LoadPictureFile"].push_back(RuntimeError(0, "nada"));
    form.Form_Load();
    EXPECT_EQ(RegisterWindow(), nullptr);
    EXPECT_TRUE(services.CallsOf("ShowWindowModal").empty());
    EXPECT_FALSE(form.pctLogo.visible);
}

TEST_F(Startup, AnInvalidGeometryIsAnOverflowErrorReportedBeforeAnythingIsLoaded) {
    form.width = std::numeric_limits<double>::infinity();
    form.Form_Load();
    ASSERT_NE(RegisterWindow(), nullptr);
    EXPECT_EQ(RegisterWindow()->lblErro.caption, "Erro N°: 6\rDescrição: Estouro");
    EXPECT_TRUE(services.CallsOf("LoadPictureFile").empty());
}

TEST_F(Startup, AFailureInsideTheHandlerIsLeftToTheRuntime) {
    services.failures["LoadPictureFile"].push_back(RuntimeError(kErrFileNotFound));
    services.failures["ListFiles"].push_back(RuntimeError(kErrPathNotFound));
    EXPECT_EQ(ErrorNumberOf([&] { form.Form_Load(); }), kErrPathNotFound) << "the listing failure must leave Form_Load";
    EXPECT_TRUE(services.CallsOf("ShowWindowModal").empty());
}

TEST_F(Startup, EndingTheProgramFromTheRegistrationWindowRunsNothingMoreOfTheLauncher) {
    services.failures["LoadPictureFile"].push_back(RuntimeError(kErrFileNotFound));
    services.whileModal = [](Form& shown) { dynamic_cast<frmRegister&>(shown).cmdCancela_Click(); };
    EXPECT_THROW(form.Form_Load(), ProgramEnded);
    EXPECT_EQ(services.Operations().back(), "EndProgram");
}

} // namespace
} // namespace tovira

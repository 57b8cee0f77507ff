#include "BuildSettings.h"
#include "FakeServices.h"
#include "launcher/frmInstalador.h"
#include "platform/ReadingOrder.h"
#include "register/frmRegister.h"

#include <gtest/gtest.h>

namespace tovira {
namespace {

using test::FakeServices;

// One line per seen item: role, name, description, value, and "click" for a default action.
std::vector<std::string> Tree(const Form& form) {
    static const char* const kRoles[] = {"link", "text", "graphic"};
    std::vector<std::string> tree;
    for (const AccessibleItem& item : SeenAccessibleItems(form)) {
        tree.push_back(std::string(kRoles[static_cast<int>(item.role)]) + "|" + item.name + "|" + item.description +
                       "|" + item.value + (item.control->Click ? "|click" : ""));
    }
    return tree;
}

TEST(Accessible, TheLauncherReadsAsItsMenuWithHintsTheStatusLineAndTheLogoOrItsPlaceholder) {
    FakeServices services;
    frmInstalador form(services);
    const std::string site = kVendorWebAddress;
    std::vector<std::string> expected = {
        "link|" + site + "||" + site + "|click",
        "link|Abrir Manual|Abrir o Manual, utilizando o Aplicativo ''Acrobat Reader''.||click",
        "link|Instalar Acrobat Reader|Iniciar a Instalação do Aplicativo ''Acrobat Reader'' em seu Micro.||click",
        "link|Explorar|Iniciar o Explorer do Windows.||click",
        "link|Finalizar|Finalizar Este Aplicativo.||click",
        "text|||",
        "text|" + form.Label6.caption + "||",
    };
    EXPECT_EQ(Tree(form), expected);

    // The status line's name follows the hint; the placeholder gives way to the logo that covers it.
    form.MouseMoveAt(600, 2260);
    form.width = 9420;
    form.height = 5355;
    services.LoadForm(form);
    expected[5] = "text|Iniciar o Explorer do Windows.||";
    expected[6] = "graphic|Logotipo da Empresa||";
    EXPECT_EQ(Tree(form), expected);
    // A painted control that the logo covers only in part is still seen.
    form.Label6.left = 2000;
    EXPECT_TRUE(IsSeen(form, form.Label6));
}

TEST(Accessible, TheRegistrationListIsNamedByItsFrame) {
    FakeServices services;
    frmRegister form(services);
    EXPECT_EQ(AccessibleName(form, form.lstArquivos), "Arquivo para Registro no Windows");
}

} // namespace
} // namespace tovira

#include "FakeServices.h"
#include "launcher/frmInstalador.h"

#include <gtest/gtest.h>

namespace tovira {
namespace {

using test::FakeServices;

// Points of the launcher's client area, in twips, where the pointer rests.
constexpr double kOverManual[] = {600, 1300};    // Label3, row 1
constexpr double kOverInstall[] = {600, 1780};   // Label1, row 2
constexpr double kOverExplore[] = {600, 2260};   // Label2, row 3
constexpr double kOverFinish[] = {600, 2740};    // Label4, row 4
constexpr double kOverSurface[] = {2000, 1000};  // between the menu and the logo
constexpr double kOverLamp[] = {300, 1380};      // row 1's lamp, which Line1 runs through
constexpr double kOverStatus[] = {1500, 3900};   // lblMsg inside Shape1
constexpr double kOverOutline[] = {600, 3600};   // Shape1's left edge
constexpr double kOverLine2[] = {450, 3900};     // Line2
constexpr double kOverSiteLabel[] = {1500, 500}; // Label7 over the vendor's logo
constexpr double kOverLogoArea[] = {6000, 2300}; // pctLogo, or Label6 while it is hidden

struct Hover : ::testing::Test {
    FakeServices services;
    frmInstalador form{services};

    void MoveTo(const double (&point)[2]) { form.MouseMoveAt(point[0], point[1]); }

    // Row state as the eye sees it: bold caption and lit lamp (cover hidden).
    bool Lit(const Label& label, const Image& cover) const { return label.font.bold && !cover.visible; }
    bool Resting(const Label& label, const Image& cover) const { return !label.font.bold && cover.visible; }
    bool AllResting() const {
        return Resting(form.Label3, form.img01) && Resting(form.Label1, form.img02) &&
               Resting(form.Label2, form.img03) && Resting(form.Label4, form.img04) && form.lblMsg.caption.empty();
    }
};

TEST_F(Hover, EachItemLightsTheLampOfItsRowNotOfItsNumber) {
    struct Case {
        const double (&point)[2];
        const Label& label;
        const Image& cover;
        const char* hint;
    } cases[] = {
        {kOverManual, form.Label3, form.img01, "Abrir o Manual, utilizando o Aplicativo ''Acrobat Reader''."},
        {kOverInstall, form.Label1, form.img02, "Iniciar a Instalação do Aplicativo ''Acrobat Reader'' em seu Micro."},
        {kOverExplore, form.Label2, form.img03, "Iniciar o Explorer do Windows."},
        {kOverFinish, form.Label4, form.img04, "Finalizar Este Aplicativo."},
    };
    for (const Case& item : cases) {
        MoveTo(kOverSurface);
        MoveTo(item.point);
        EXPECT_TRUE(Lit(item.label, item.cover)) << item.hint;
        EXPECT_EQ(form.lblMsg.caption, item.hint);
        int lit = 0;
        for (const Image* cover : {&form.img01, &form.img02, &form.img03, &form.img04}) {
            lit += cover->visible ? 0 : 1;
        }
        EXPECT_EQ(lit, 1) << item.hint;
    }
    MoveTo(kOverSurface);
    EXPECT_TRUE(AllResting());
}

TEST_F(Hover, WithoutAnEventBetweenThemTwoItemsStayHighlighted) {
    MoveTo(kOverManual);
    MoveTo(kOverInstall);
    EXPECT_TRUE(Lit(form.Label3, form.img01));
    EXPECT_TRUE(Lit(form.Label1, form.img02));
    EXPECT_EQ(form.lblMsg.caption, "Iniciar a Instalação do Aplicativo ''Acrobat Reader'' em seu Micro.");
    MoveTo(kOverInstall);
    EXPECT_TRUE(Lit(form.Label3, form.img01)) << "moving inside one item changes nothing";
}

TEST_F(Hover, LampsTheStatusLineAndThePlaceholderChangeNothing) {
    MoveTo(kOverExplore);
    for (const auto* point : {&kOverLamp, &kOverStatus, &kOverLogoArea}) {
        MoveTo(*point);
        EXPECT_TRUE(Lit(form.Label2, form.img03));
        EXPECT_EQ(form.lblMsg.caption, "Iniciar o Explorer do Windows.");
    }
    MoveTo(kOverManual);
    MoveTo(kOverLamp); // with row 1's cover hidden, the lit lamp beneath takes the event
    EXPECT_TRUE(Lit(form.Label3, form.img01));
}

TEST_F(Hover, TheSurfaceTheShapeTheLinesTheSiteLabelAndTheLogoReset) {
    form.pctLogo.visible = true;
    for (const auto* point : {&kOverSurface, &kOverOutline, &kOverLine2, &kOverSiteLabel, &kOverLogoArea}) {
        MoveTo(kOverFinish);
        MoveTo(kOverInstall);
        ASSERT_FALSE(AllResting());
        MoveTo(*point);
        EXPECT_TRUE(AllResting()) << "at " << (*point)[0] << "," << (*point)[1];
    }
    MoveTo(kOverSurface);
    EXPECT_TRUE(AllResting()) << "a reset at rest changes nothing";
}

TEST_F(Hover, ClicksLeaveTheHighlightAsItIs) {
    services.messageAnswers = {kAnswerNo};
    MoveTo(kOverInstall);
    form.Label1_Click();
    form.Label2_Click();
    form.Label3_Click();
    form.Label7_Click();
    EXPECT_TRUE(Lit(form.Label1, form.img02));
    EXPECT_TRUE(Resting(form.Label3, form.img01));
    EXPECT_EQ(form.lblMsg.caption, "Iniciar a Instalação do Aplicativo ''Acrobat Reader'' em seu Micro.");
}

} // namespace
} // namespace tovira

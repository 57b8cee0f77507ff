#include "platform/Form.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tovira {
namespace {

// A form with overlapping controls of every kind that the hit-testing has to tell apart.
class TestForm : public Form {
public:
    TestForm() : Form("TestForm") {
        upper.Move(100, 100, 200, 200);
        lower.Move(150, 150, 200, 200);
        transparentLabel.Move(400, 100, 300, 100);
        outline.Move(0, 500, 1000, 500);
        line.SetEnds(1000, 1000, 1900, 1900);
        box.Move(2000, 0, 500, 500);
        frame.Move(3000, 1000, 1000, 1000);
        inFrame.Move(100, 100, 200, 200);
        inFrame.container = &frame;
        SetStackingOrder({&upper, &lower, &transparentLabel, &outline, &line, &box, &frame, &inFrame});
        MouseMove = [this] { moves.push_back("Form"); };
        upper.MouseMove = [this] { moves.push_back("upper"); };
        lower.MouseMove = [this] { moves.push_back("lower"); };
    }

    Label upper{"upper"};
    Image lower{"lower"};
    Label transparentLabel{"transparentLabel"};
    Shape outline{"outline"};
    Line line{"line"};
    PictureBox box{"box"};
    Frame frame{"frame"};
    CommandButton inFrame{"inFrame"};
    std::vector<std::string> moves;
};

std::string NameAt(const Form& form, double x, double y) {
    const Control* control = form.HitTest(x, y);
    return control == nullptr ? "Form" : control->name;
}

TEST(HitTest, UpperControlWinsWhereControlsOverlapAndHiddenOnesLetTheMouseThrough) {
    TestForm form;
    EXPECT_EQ(NameAt(form, 160, 160), "upper");
    EXPECT_EQ(NameAt(form, 320, 320), "lower");
    form.upper.visible = false;
    EXPECT_EQ(NameAt(form, 160, 160), "lower");
    form.lower.visible = false;
    EXPECT_EQ(NameAt(form, 160, 160), "Form");
}

TEST(HitTest, ShapesAndLinesTakeNoMouseButTransparentLabelsDoOverTheirWholeBox) {
    TestForm form;
    EXPECT_EQ(NameAt(form, 500, 500), "Form") << "on the shape's outline";
    EXPECT_EQ(NameAt(form, 500, 700), "Form") << "inside the shape";
    EXPECT_EQ(NameAt(form, 1500, 1500), "Form") << "on the line";
    EXPECT_EQ(NameAt(form, 699, 199), "transparentLabel") << "empty corner of a transparent label";
    EXPECT_EQ(NameAt(form, 700, 150), "Form") << "right edge is outside";
}

TEST(HitTest, ChildWindowsLieOverPaintedControlsAndContainedControlsFollowTheirFrame) {
    TestForm form;
    form.transparentLabel.left = 2100;
    form.transparentLabel.top = 100;
    EXPECT_EQ(NameAt(form, 2200, 150), "box") << "a child window covers a painted control listed above it";
    form.box.visible = false;
    EXPECT_EQ(NameAt(form, 2200, 150), "transparentLabel");
    EXPECT_EQ(NameAt(form, 3150, 1150), "inFrame");
    EXPECT_EQ(NameAt(form, 150, 150), "upper") << "frame offsets apply to the contained control only";
    form.frame.visible = false;
    EXPECT_EQ(NameAt(form, 3150, 1150), "Form") << "a hidden frame hides what it holds";
}

TEST(HitTest, MouseMovementReachesTheControlsProcedureOrTheFormAndIsSwallowedByControlsWithout) {
    TestForm form;
    form.MouseMoveAt(160, 160);
    form.MouseMoveAt(320, 320);
    form.MouseMoveAt(500, 700);
    form.MouseMoveAt(450, 150); // transparent label without a procedure of its own
    EXPECT_EQ(form.moves, (std::vector<std::string>{"upper", "lower", "Form"}));
}

TEST(Paths, BackslashIsAddedOnlyWhereTheFolderLacksOne) {
    EXPECT_EQ(JoinPath("C:\\Docs", "imgLogo.bmp"), "C:\\Docs\\imgLogo.bmp");
    EXPECT_EQ(JoinPath("D:\\", "imgLogo.bmp"), "D:\\imgLogo.bmp");
    EXPECT_EQ(JoinPath("", "a"), "\\a");
    EXPECT_EQ(Quoted("D:\\Meus Manuais\\rs40eng.exe"), "\"D:\\Meus Manuais\\rs40eng.exe\"");
}

} // namespace
} // namespace tovira

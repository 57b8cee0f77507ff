#include "ResourceFiles.h"

#include "ImageFiles.h"
#include "art/Artwork.h"
#include "art/StrokeFont.h"

#include <cmath>
#include <fstream>
#include <stdexcept>

namespace tovira::tools {

using namespace art;

Canvas DrawSampleLogo() {
    Canvas logo(421, 332);
    logo.Fill(Polygon({{0, 0}, {421, 0}, {421, 332}, {0, 332}}), Rgb{1, 1, 1});
    const Rgb navy = Rgb255(0, 48, 96), sea = Rgb255(0, 150, 168), foam = Rgb255(120, 210, 220), white{1, 1, 1};
    const Point centre{210, 112};

    logo.Fill(Minus(Ellipse(centre, 88, 88), Ellipse(centre, 83, 83)), sea);
    const Shape disc = Ellipse(centre, 78, 78);
    logo.Fill(disc, [&](double, double y) { return Mix(Rgb255(0, 78, 140), navy, (y - 34) / 156); });
    const auto wave = [&](double level, double phase) {
        return Intersect(disc, [=](double x, double y) { return y > level + 4 * std::sin(x / 11 + phase); });
    };
    logo.Fill(wave(160, 0), sea);
    logo.Fill(wave(174, 1.8), foam);
    logo.Fill(wave(186, 3.4), sea);
    logo.Fill(Polygon({{214, 52}, {214, 146}, {270, 146}}), white);
    logo.Fill(Polygon({{205, 66}, {205, 146}, {160, 146}}), Rgb255(214, 232, 244));
    logo.Fill(Polygon({{148, 152}, {276, 152}, {256, 170}, {166, 170}}), white);

    const Lettering name{30, 5.5, 3};
    const double nameWidth = TextWidth("MARINHA TÉCNICA", name);
    logo.Fill(TextShape("MARINHA TÉCNICA", name, {(421 - nameWidth) / 2, 258}), navy);
    const Lettering tagline{12, 1.8, 3.2};
    const std::string taglineText = "ENGENHARIA NAVAL LTDA.";
    const double taglineWidth = TextWidth(taglineText, tagline);
    const double left = (421 - taglineWidth) / 2;
    logo.Fill(TextShape(taglineText, tagline, {left, 300}), sea);
    const auto rule = [&](double from, double to) {
        logo.Fill(Polygon({{from, 293}, {to, 293}, {to, 295}, {from, 295}}), sea);
    };
    rule((421 - nameWidth) / 2, left - 12);
    rule(left + taglineWidth + 12, (421 + nameWidth) / 2);
    return logo;
}

std::vector<std::string> WriteResourceFiles(const std::filesystem::path& root) {
    const Canvas icon16 = DrawProgramIcon(16);
    const Canvas icon32 = DrawProgramIcon(32);
    // The executable carries the pictures of the design's scale; other scales are drawn as the program runs.
    const PixelScale design;
    const Canvas dark = DrawLamp(false, design);
    const Canvas lit = DrawLamp(true, design);
    const Pixels24 panel = DrawMenuPanel(design);
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"resources/MenuPanel.bmp", EncodeBitmap(panel)},
        {"resources/MenuPanel.rle", EncodeBuiltInRunLength(panel)},
        {"resources/Tovira.ico", EncodeIcon({&icon16, &icon32})},
        {"resources/HandPointer.cur",
         EncodeCursor(DrawHandPointer(design), HandHotSpotX(design), HandHotSpotY(design))},
        {"resources/DarkLamp.ico", EncodeIcon({&dark})},
        {"resources/LitLamp.ico", EncodeIcon({&lit})},
        {"demo/imgLogo.bmp", EncodeBitmap(OpaquePixels(DrawSampleLogo()))},
    };
    std::vector<std::string> written;
    for (const auto& [name, bytes] : files) {
        const std::filesystem::path path = root / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out)
            throw std::runtime_error("cannot write " + path.string());
        written.push_back(name);
    }
    return written;
}

} // namespace tovira::tools

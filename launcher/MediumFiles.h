#pragma once

// What the launcher finds beside itself on a medium, and the part of its window that the company logo fills: the
// launcher reads them at run time and the disc kit lays a medium out and checks its logo by them.
namespace tovira::medium {

inline constexpr char kProgram[] = "Tovira.exe";
inline constexpr char kHandbook[] = "Indice.pdf";
inline constexpr char kLogo[] = "imgLogo.bmp";
inline constexpr char kInstaller[] = "rs40eng.exe";

// The launcher's client area and the logo box's left edge, in twips.
inline constexpr int kClientWidth = 9330;
inline constexpr int kClientHeight = 4875;
inline constexpr int kLogoLeft = 3120;

} // namespace tovira::medium

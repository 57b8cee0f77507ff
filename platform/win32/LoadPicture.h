#pragma once

#include "platform/PictureHandle.h"

#include <string>

namespace tovira::win32 {

// Reads a picture file (bitmap, GIF, JPEG, icon or placeable metafile) into a bitmap of its natural size.
// Raises 53 or the mapped error when the file cannot be opened, 481 when it holds no picture.
PicturePtr LoadPicture(const std::wstring& path);

} // namespace tovira::win32

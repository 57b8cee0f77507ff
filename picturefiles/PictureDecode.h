#pragma once

#include "picturefiles/ByteReader.h"
#include "picturefiles/PictureCheck.h"
#include "picturefiles/PixelTarget.h"

namespace tovira {

// Decodes the top-left target.width x target.height part of a bitmap, GIF or JPEG that passed its check (the
// target is no larger than the picture). Reads the data as far as the target's rows need it (a run-length
// bitmap's all of it, as its rows run from the bottom up), so that data too short for the shown part is found
// out; false then, or when the data does not hold together, and the target's pixels are undefined: a decoder may
// hold what it works on in the target's memory. Time and memory follow the file's size and the target's, whatever
// the header claims.
bool DecodePicture(ByteSource& source, const PictureCheck& check, const PixelTarget& target);

} // namespace tovira

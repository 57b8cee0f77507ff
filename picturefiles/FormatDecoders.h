#pragma once

// The decoders of the picture formats, one file each, as the dispatcher in PictureDecode.cpp calls them: bitmaps
// with their run-length forms (BitmapDecode.cpp), GIF (GifDecode.cpp) and JPEG (JpegDecode.cpp, with the files
// that JpegParts.h names). Each keeps what DecodePicture promises.
#include "picturefiles/ByteReader.h"
#include "picturefiles/PictureCheck.h"
#include "picturefiles/PixelTarget.h"

namespace tovira {

bool DecodeBitmap(ByteReader& in, const PictureCheck& check, const PixelTarget& target);
bool DecodeGif(ByteReader& in, const PictureCheck& check, const PixelTarget& target);
bool DecodeJpeg(ByteSource& source, const PixelTarget& target);

} // namespace tovira

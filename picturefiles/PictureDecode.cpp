#include "picturefiles/PictureDecode.h"

#include "picturefiles/FormatDecoders.h"

namespace tovira {

bool DecodePicture(ByteSource& source, const PictureCheck& check, const PixelTarget& target) {
    ByteReader in(source);
    switch (check.format) {
    case PictureFormat::Bitmap:
        return DecodeBitmap(in, check, target);
    case PictureFormat::Gif:
        return DecodeGif(in, check, target);
    case PictureFormat::Jpeg:
        return DecodeJpeg(source, target);
    case PictureFormat::Unknown:
    case PictureFormat::Icon:
    case PictureFormat::Metafile:
        return false;
    }
    return false;
}

} // namespace tovira

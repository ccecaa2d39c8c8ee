#pragma once

#include "picture/picture_format.h"
#include "picture/picture_surface.h"

#include <QImage>

#include <memory>

class QIODevice;

namespace lumenveil {

// Reads one kind of picture file. A load sniffs the kind from the file's first bytes
// (SniffPictureKind), takes that kind's decoder, checks the headers, then decodes. A decoder
// reads one file once.
class PictureDecoder
{
public:
    virtual ~PictureDecoder() = default;

    // Reads the headers from `device` (`size` bytes in all, read from its start) and checks that
    // they describe a picture we take and one the file can really hold; nothing large is
    // allocated before this passes. `device` must outlive the decoder.
    [[nodiscard]] virtual PictureResult CheckHeaders(QIODevice& device, qint64 size) = 0;

    // Decodes the picture whose headers passed into `out`: Format_RGB32 in a buffer of
    // AllocatePicture, exact 8-bit components, opaque, EXIF orientation applied, colour profile
    // not applied. A `sink` is told of the rows as they are final. On failure `out` is unchanged.
    [[nodiscard]] virtual PictureResult Decode(QImage& out, RowSink* sink) = 0;
};

// The decoder for `kind`; null for Unknown.
[[nodiscard]] std::unique_ptr<PictureDecoder> DecoderFor(PictureKind kind);

// "W × H", as the messages about a picture's size give it.
[[nodiscard]] QString PixelCount(qint64 width, qint64 height);

// Whether a picture of `width` x `height` is one we take (TooLarge otherwise) and one that a file
// of `fileSize` bytes can hold at no more than `pixelsPerByte` pixels a byte (Damaged otherwise).
[[nodiscard]] PictureResult CheckArea(qint64 width, qint64 height, qint64 fileSize,
                                      qint64 pixelsPerByte);

} // namespace lumenveil

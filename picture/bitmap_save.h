#pragma once

#include "picture/bitmap_writer.h"
#include "picture/picture_surface.h"

#include <QSaveFile>

#include <optional>

namespace lumenveil {

// One save of a picture as a 24-bit bitmap file. The new file is written beside the old one and
// replaces it only once it is complete and on the disk: after any failure, or when the save is
// dropped before Commit, an existing file is untouched and nothing is left behind. The rows can
// be written in bands as a picture is decoded, so that the disk works while the decoder does.
class BitmapFileSave
{
public:
    explicit BitmapFileSave(const QString& path);

    // Checks that the file may be written, creates the new one and writes the headers of a
    // width x height bitmap.
    [[nodiscard]] PictureResult Begin(int width, int height);

    // Rows top .. bottom - 1 of `image`, in any order of bands.
    [[nodiscard]] PictureResult WriteRows(const QImage& image, int top, int bottom);

    // Once every row is written: waits for the disk, then puts the new file in place.
    [[nodiscard]] PictureResult Commit();

private:
    [[nodiscard]] PictureResult WriteFailed();

    QString path_;
    QSaveFile file_;
    std::optional<BitmapRowWriter> writer_;
};

} // namespace lumenveil

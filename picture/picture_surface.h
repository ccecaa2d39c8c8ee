#pragma once

#include "codec/pixel_grid.h"
#include "picture/picture_format.h"
#include "picture/bitmap_file_grid.h"
#include "picture/pixel_memory.h"

#include <QImage>
#include <QString>

class QIODevice;

namespace lumenveil {

// The largest picture file read into memory whole (one that comes through a pipe): no picture
// of at most MaxPicturePixels needs more than 4 bytes a pixel, and its headers fit in the rest.
inline constexpr qint64 MaxPictureFileBytes = 4 * MaxPicturePixels + (qint64{16} << 20);

// What a load may allocate while decoding, in MiB: a little above our own pixel limit so that
// it never trips first for a picture we accept, while still catching a decoder that allocates
// beyond it. Qt's readers are held to it once per program (LimitDecoderAllocations); the JPEG
// decoder counts its own working memory against it.
inline constexpr int DecoderAllocationLimitMiB = 1100;

// Sets Qt's allocation limit for its image readers to DecoderAllocationLimitMiB. Each program
// calls it once at start-up, before the first load.
void LimitDecoderAllocations();

// The file name `path` as the system takes it, for code outside Qt.
[[nodiscard]] NativeName NativePath(const QString& path);

enum class PictureStatus
{
    Ok,
    NotFound,      // no file by that name
    NotReadable,   // the file exists but cannot be opened or read
    NotAPicture,   // not a BMP, JPEG, GIF or PNG file
    Damaged,       // a picture file whose data is broken or cut short
    Unsupported,   // a rare variant of a kind we read (a 2-bit bitmap, say)
    TooLarge,      // more than MaxPicturePixels
    OutOfMemory,   // the memory for the decoded picture cannot be had
    NothingToSave, // the surface holds no picture yet
    CannotWrite,   // the bitmap file could not be written
    Stopped,       // the load's RowSink stopped it
};

// How a load or save went; `reason` carries the system's or the decoder's own words.
struct PictureResult
{
    PictureStatus status = PictureStatus::Ok;
    QString reason;

    [[nodiscard]] bool ok() const { return status == PictureStatus::Ok; }
};

// A sentence for the user that names `path` and says what went wrong.
[[nodiscard]] QString DescribePictureResult(const PictureResult& result, const QString& path);

// Told of a picture's rows as they are decoded, so that its caller can work on them (hide a
// message, write them out) while the rest of the picture is still being decoded. A sink that
// returns false stops the load, which then returns Stopped; the sink knows why.
class RowSink
{
public:
    virtual ~RowSink() = default;

    // The headers passed: a picture of width x height is about to be decoded.
    [[nodiscard]] virtual bool Begin(int width, int height) = 0;

    // Rows top .. bottom - 1 of the picture are final; row y is row y - imageTop of `image`
    // (Format_RGB32: the whole picture, imageTop 0, or a band of it). The sink may change them.
    // Every row comes once, in bands, in any order; whether a load that fails later has told
    // of some rows or none, it fails.
    [[nodiscard]] virtual bool RowsDone(QImage& image, int top, int bottom, int imageTop) = 0;

    // Whether the load is to keep the whole picture. A sink that takes every band as it comes
    // and needs none of it again may say no: a decoder that can (JPEG, not turned by its EXIF
    // orientation) then decodes each band into the same few rows of memory, never the whole
    // picture, and a successful load leaves the surface as it was.
    [[nodiscard]] virtual bool KeepPicture() const { return true; }
};

// Decodes a picture from `device` (`size` bytes in all) into Format_RGB32: exact 8-bit
// components, alpha dropped, EXIF orientation applied, colour profile not applied.
[[nodiscard]] PictureResult DecodePicture(QIODevice& device, qint64 size, QImage& out,
                                          PictureKind* kind = nullptr, RowSink* sink = nullptr);

// A Format_RGB32 picture seen as the codec's grid, such as one a RowSink is told of. Where
// `image` is a band of a picture `height` rows high, its row 0 being the picture's row
// `imageTop`, only the band's rows may be read or written.
class ImageGrid final : public PixelGrid
{
public:
    explicit ImageGrid(QImage& image) : image_(image), height_(image.height()) {}
    ImageGrid(QImage& image, int imageTop, int height)
        : image_(image), imageTop_(imageTop), height_(height)
    {}

    [[nodiscard]] int ImageWidth() const override { return image_.width(); }
    [[nodiscard]] int ImageHeight() const override { return height_; }
    [[nodiscard]] ColorValue ReadPixel(int x, int y) const override;
    void WritePixel(int x, int y, ColorValue color) override;
    void ReadCarrierBits(std::int64_t first, std::int64_t count, std::uint8_t* out) const override;

private:
    QImage& image_;
    int imageTop_ = 0;
    int height_;
};

// The one picture being worked on: loaded from a file, read and written pixel by pixel, saved
// as a Windows bitmap. Empty until the first successful load.
class PictureSurface final : public PixelGrid
{
public:
    // Makes the picture in `path` the whole surface. On failure the surface is unchanged.
    // A file that is not a regular one (a pipe, standard input, a device) is read into memory
    // first, at most MaxPictureFileBytes of it. A `sink` is told of the rows as they come.
    [[nodiscard]] PictureResult LoadImageFile(const QString& path, RowSink* sink = nullptr);

    // Makes the picture read from `stream` (standard input, a pipe) to its end the whole
    // surface, reading at most MaxPictureFileBytes. On failure the surface is unchanged.
    [[nodiscard]] PictureResult LoadImageStream(QIODevice& stream, RowSink* sink = nullptr);

    // Writes the whole surface to `path` as a 24-bit bitmap, whatever the name's extension.
    // Replaces an existing file only once the new one is complete; on failure the existing
    // file is untouched and nothing is left behind.
    [[nodiscard]] PictureResult SaveBitmapFile(const QString& path) const;

    [[nodiscard]] int ImageWidth() const override { return image_.width(); }
    [[nodiscard]] int ImageHeight() const override { return image_.height(); }
    [[nodiscard]] ColorValue ReadPixel(int x, int y) const override;
    void WritePixel(int x, int y, ColorValue color) override;
    void ReadCarrierBits(std::int64_t first, std::int64_t count, std::uint8_t* out) const override;

    [[nodiscard]] bool IsEmpty() const { return image_.isNull(); }

    // The kind of file the picture was loaded from; Unknown while empty.
    [[nodiscard]] PictureKind LoadedKind() const { return kind_; }

    // The pixels, for display. Format_RGB32.
    [[nodiscard]] const QImage& Image() const { return image_; }

private:
    // Decodes `size` bytes of `device` and, when that works, makes them the surface.
    [[nodiscard]] PictureResult LoadFrom(QIODevice& device, qint64 size, RowSink* sink);

    QImage image_;
    PictureKind kind_ = PictureKind::Unknown;
};

} // namespace lumenveil

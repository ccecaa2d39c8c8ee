#pragma once

#include "codec/pixel_grid.h"
#include "picture/byte_source.h"
#include "picture/file_system.h"
#include "picture/picture_decoder.h"
#include "picture/picture_format.h"
#include "picture/picture_result.h"
#include "picture/pixel_buffer.h"

namespace lumenveil {

// A band of a picture's rows seen as the codec's grid, such as one a RowSink is told of: only
// the band's rows may be read or written.
class BandGrid final : public PixelGrid
{
public:
    explicit BandGrid(const RowBand& band) : band_(band) {}

    [[nodiscard]] int ImageWidth() const override { return band_.width; }
    [[nodiscard]] int ImageHeight() const override { return band_.height; }
    [[nodiscard]] ColorValue ReadPixel(int x, int y) const override;
    void WritePixel(int x, int y, ColorValue color) override;
    void ReadCarrierBits(std::int64_t first, std::int64_t count, std::uint8_t* out) const override;

private:
    RowBand band_;
};

// The one picture being worked on: loaded from a file, read and written pixel by pixel, saved
// as a Windows bitmap. Empty until the first successful load.
class PictureSurface final : public PixelGrid
{
public:
    // Makes the picture in `path` the whole surface. On failure the surface is unchanged.
    // A file that is not a regular one (a pipe, a device) is opened once and read into memory
    // first, at most limits.streamBytes of it. A `sink` is told of the rows as they come.
    [[nodiscard]] PictureResult LoadImageFile(const NativeName& path, RowSink* sink = nullptr,
                                              const DecodeLimits& limits = {});
    // The same for a file already open (standard input), read from where it stands.
    [[nodiscard]] PictureResult LoadImageStream(const ReadFile& stream, RowSink* sink = nullptr,
                                                const DecodeLimits& limits = {});
    // The same for bytes already at hand.
    [[nodiscard]] PictureResult LoadImageSource(ByteSource& source, RowSink* sink = nullptr,
                                                const DecodeLimits& limits = {});

    // Writes the whole surface to `path` as a 24-bit bitmap, whatever the name's extension.
    // Replaces an existing file only once the new one is complete and on the disk; on failure
    // the existing file is untouched and nothing is left behind.
    [[nodiscard]] PictureResult SaveBitmapFile(const NativeName& path) const;

    [[nodiscard]] int ImageWidth() const override { return pixels_.Width(); }
    [[nodiscard]] int ImageHeight() const override { return pixels_.Height(); }
    [[nodiscard]] ColorValue ReadPixel(int x, int y) const override;
    void WritePixel(int x, int y, ColorValue color) override;
    void ReadCarrierBits(std::int64_t first, std::int64_t count, std::uint8_t* out) const override;

    [[nodiscard]] bool IsEmpty() const { return pixels_.IsEmpty(); }
    // The kind of file the picture was loaded from; Unknown while empty.
    [[nodiscard]] PictureKind LoadedKind() const { return kind_; }
    // The pixels, for display: they stay where they are until the next successful load.
    [[nodiscard]] const PixelBuffer& Pixels() const { return pixels_; }

private:
    [[nodiscard]] RowBand AllRows() const { return const_cast<PixelBuffer&>(pixels_).All(); }

    PixelBuffer pixels_;
    PictureKind kind_ = PictureKind::Unknown;
};

} // namespace lumenveil

#include "picture/picture_surface.h"

#include "picture/bitmap_save.h"

#include <memory>

namespace lumenveil {

ColorValue BandGrid::ReadPixel(int x, int y) const
{
    const unsigned char* p = band_.Row(y) + std::ptrdiff_t{x} * BytesPerPixel;
    return ComposeColor(p[2], p[1], p[0]);
}

void BandGrid::WritePixel(int x, int y, ColorValue color)
{
    unsigned char* p = band_.Row(y) + std::ptrdiff_t{x} * BytesPerPixel;
    p[0] = static_cast<unsigned char>(BlueOf(color));
    p[1] = static_cast<unsigned char>(GreenOf(color));
    p[2] = static_cast<unsigned char>(RedOf(color));
    p[3] = 0xFF;
}

void BandGrid::ReadCarrierBits(std::int64_t first, std::int64_t count, std::uint8_t* out) const
{
    const auto firstX = static_cast<std::ptrdiff_t>(first / band_.height);
    CopyRunFromRows<BytesPerPixel>(
        first, count, band_.height, out,
        [&](int y) { return band_.Row(y) + firstX * BytesPerPixel; },
        [](const unsigned char* p) {
            return static_cast<std::uint8_t>((p[2] & 1) << 2 | (p[1] & 1) << 1 | (p[0] & 1));
        });
}

PictureResult PictureSurface::LoadImageFile(const NativeName& path, RowSink* sink,
                                            const DecodeLimits& limits)
{
    std::unique_ptr<ByteSource> source;
    if (PictureResult opened = OpenPictureSource(path, limits.streamBytes, source);
        !opened.ok()) {
        return opened;
    }
    return LoadImageSource(*source, sink, limits);
}

PictureResult PictureSurface::LoadImageStream(const ReadFile& stream, RowSink* sink,
                                              const DecodeLimits& limits)
{
    std::unique_ptr<ByteSource> source;
    if (PictureResult read = ReadWholeStream(stream, limits.streamBytes, source); !read.ok()) {
        return read;
    }
    return LoadImageSource(*source, sink, limits);
}

PictureResult PictureSurface::LoadImageSource(ByteSource& source, RowSink* sink,
                                              const DecodeLimits& limits)
{
    PixelBuffer decoded;
    PictureKind kind = PictureKind::Unknown;
    PictureResult result = DecodePicture(source, limits, decoded, &kind, sink);
    if (result.ok() && !decoded.IsEmpty()) { // else a sink took the rows band by band
        pixels_ = std::move(decoded);
        kind_ = kind;
    }
    return result;
}

PictureResult PictureSurface::SaveBitmapFile(const NativeName& path) const
{
    if (IsEmpty()) {
        return PictureFailure(PictureStatus::NothingToSave);
    }
    BitmapFileSave save(path);
    if (PictureResult begun = save.Begin(ImageWidth(), ImageHeight()); !begun.ok()) {
        return begun;
    }
    if (PictureResult written = save.WriteRows(AllRows()); !written.ok()) {
        return written;
    }
    return save.Commit();
}

ColorValue PictureSurface::ReadPixel(int x, int y) const { return BandGrid(AllRows()).ReadPixel(x, y); }

void PictureSurface::WritePixel(int x, int y, ColorValue color)
{
    BandGrid(pixels_.All()).WritePixel(x, y, color);
}

void PictureSurface::ReadCarrierBits(std::int64_t first, std::int64_t count,
                                     std::uint8_t* out) const
{
    BandGrid(AllRows()).ReadCarrierBits(first, count, out);
}

} // namespace lumenveil

#include "picture/picture_decoder.h"

#include "picture/bitmap_decoder.h"
#include "picture/gif_decoder.h"
#include "picture/jpeg_decoder.h"
#include "picture/png_decoder.h"

#include <algorithm>

namespace lumenveil {

PictureResult PictureDecoder::CheckArea(std::int64_t width, std::int64_t height,
                                        std::int64_t pixelsPerByte) const
{
    if (width * height > limits_.pixels) {
        return PictureFailure(PictureStatus::TooLarge, PixelCount(width, height));
    }
    const std::int64_t size = source_.Size();
    if (width * height > pixelsPerByte * std::max<std::int64_t>(size, 1)) {
        return PictureFailure(PictureStatus::Damaged,
                              "it claims " + PixelCount(width, height) +
                                  " pixels, far more than its " + std::to_string(size) +
                                  " bytes can hold");
    }
    return {};
}

PictureResult PictureDecoder::Start(bool whole)
{
    const bool keepWhole = whole || RowOrder() == Order::Whole;
    const int rows = keepWhole ? height_ : std::min(height_, BandRows);
    const std::int64_t needed =
        std::int64_t{width_} * rows * BytesPerPixel + std::max<std::int64_t>(WorkingBytes(), 0);
    if (needed > limits_.memoryBytes) {
        constexpr std::int64_t MiB = std::int64_t{1} << 20;
        return PictureFailure(PictureStatus::OutOfMemory,
                              "decoding it takes " + GroupedNumber((needed + MiB - 1) / MiB) +
                                  " MiB, more than the " +
                                  GroupedNumber(limits_.memoryBytes / MiB) +
                                  " MiB Lumenveil allows itself");
    }
    PixelBuffer buffer = PixelBuffer::Allocate(width_, rows);
    if (buffer.IsEmpty()) {
        return PictureFailure(PictureStatus::OutOfMemory,
                              "not enough memory for a picture of " + PixelCount(width_, height_));
    }
    (keepWhole ? picture_ : bandRows_) = std::move(buffer);
    started_ = true;
    return BeginRows();
}

PictureResult PictureDecoder::Next(RowBand& band, int most)
{
    const Order order = RowOrder();
    const int count = order == Order::Whole ? height_
                                            : std::min({std::clamp(most, 1, BandRows),
                                                        height_ - done_});
    const int top = order == Order::BottomUp ? height_ - done_ - count : done_;
    if (!picture_.IsEmpty()) {
        band = picture_.Rows(top, top + count);
    } else {
        band = bandRows_.Rows(0, count);
        band.height = height_;
        band.top = top;
        band.bottom = top + count;
    }
    PictureResult decoded = DecodeBand(band);
    if (decoded.ok()) {
        done_ += count;
    }
    return decoded;
}

std::unique_ptr<PictureDecoder> MakeDecoder(PictureKind kind, ByteSource& source,
                                            const DecodeLimits& limits)
{
    switch (kind) {
    case PictureKind::Bitmap: return MakeBitmapDecoder(source, limits);
    case PictureKind::Jpeg: return MakeJpegDecoder(source, limits);
    case PictureKind::Gif: return MakeGifDecoder(source, limits);
    case PictureKind::Png: return MakePngDecoder(source, limits);
    case PictureKind::Unknown: break;
    }
    return nullptr;
}

PictureKind SniffSource(ByteSource& source)
{
    unsigned char head[SniffBytes] = {};
    const std::int64_t got = source.ReadAt(0, head, sizeof head);
    return got > 0 ? SniffPictureKind(head, static_cast<std::size_t>(got)) : PictureKind::Unknown;
}

PictureResult OpenDecoder(ByteSource& source, const DecodeLimits& limits, PictureKind& kind,
                          std::unique_ptr<PictureDecoder>& decoder)
{
    unsigned char head[SniffBytes] = {};
    const std::int64_t got = source.ReadAt(0, head, sizeof head);
    if (got < 0) {
        return PictureFailure(PictureStatus::NotReadable, source.Error());
    }
    kind = SniffPictureKind(head, static_cast<std::size_t>(got));
    if (kind == PictureKind::Unknown) {
        return PictureFailure(PictureStatus::NotAPicture);
    }
    decoder = MakeDecoder(kind, source, limits);
    return decoder->ReadHeader();
}

PictureResult ReadPictureHeader(ByteSource& source, const DecodeLimits& limits,
                                PictureHeader& header)
{
    std::unique_ptr<PictureDecoder> decoder;
    PictureKind kind = PictureKind::Unknown;
    if (PictureResult opened = OpenDecoder(source, limits, kind, decoder); !opened.ok()) {
        return opened;
    }
    header = {kind, decoder->Width(), decoder->Height()};
    return {};
}

PictureResult DecodePicture(ByteSource& source, const DecodeLimits& limits, PixelBuffer& out,
                            PictureKind* kind, RowSink* sink)
{
    std::unique_ptr<PictureDecoder> decoder;
    PictureKind sniffed = PictureKind::Unknown;
    PictureResult result = OpenDecoder(source, limits, sniffed, decoder);
    if (kind != nullptr) {
        *kind = sniffed;
    }
    if (!result.ok()) {
        return result;
    }
    if (sink != nullptr && !sink->Begin(decoder->Width(), decoder->Height())) {
        return PictureFailure(PictureStatus::Stopped);
    }
    const bool whole = sink == nullptr || sink->KeepPicture();
    if (result = decoder->Start(whole); !result.ok()) {
        return result;
    }
    while (!decoder->Done()) {
        RowBand band;
        if (result = decoder->Next(band); !result.ok()) {
            return result;
        }
        if (sink != nullptr && !sink->RowsDone(band)) {
            return PictureFailure(PictureStatus::Stopped);
        }
    }
    if (whole) {
        out = decoder->TakePicture();
    }
    return {};
}

} // namespace lumenveil

#include "picture/decoding_grid.h"

#include "picture/bitmap_file_grid.h"
#include "picture/picture_surface.h"
#include "picture/pixel_memory.h"

#include <algorithm>

namespace lumenveil {

PictureResult DecodingGrid::Open(ByteSource& source, const DecodeLimits& limits,
                                 std::unique_ptr<DecodingGrid>& grid)
{
    std::unique_ptr<PictureDecoder> decoder;
    PictureKind kind = PictureKind::Unknown;
    if (PictureResult opened = OpenDecoder(source, limits, kind, decoder); !opened.ok()) {
        return opened;
    }
    // The whole picture's memory, of which only the rows decoded are ever touched.
    if (PictureResult started = decoder->Start(true); !started.ok()) {
        return started;
    }
    grid.reset(new DecodingGrid(std::move(decoder)));
    const RowBand& rows = grid->rows_;
    UseOrdinaryPages(rows.pixels, static_cast<std::size_t>(rows.stride) * rows.height);
    return {};
}

DecodingGrid::DecodingGrid(std::unique_ptr<PictureDecoder> decoder)
    : decoder_(std::move(decoder)), rows_(decoder_->PictureRows())
{}

bool DecodingGrid::Reach(int lastY) const
{
    const bool topDown = decoder_->RowOrder() == PictureDecoder::Order::TopDown;
    while (failure_.ok() && ready_ <= lastY) {
        RowBand band;
        failure_ = decoder_->Next(band, lastY + 1 - ready_); // no row the read does not need
        if (failure_.ok()) {
            ready_ = topDown ? band.bottom : decoder_->Done() ? rows_.height : 0;
        }
    }
    return failure_.ok();
}

ColorValue DecodingGrid::ReadPixel(int x, int y) const
{
    return Reach(y) ? BandGrid(rows_).ReadPixel(x, y) : 0;
}

void DecodingGrid::ReadCarrierBits(std::int64_t first, std::int64_t count,
                                   std::uint8_t* out) const
{
    const std::int64_t height = rows_.height;
    const std::int64_t last = first + count - 1;
    // A run within one column needs the rows down to its last pixel; one that goes on into
    // the next column needs the first column's foot, so every row.
    const auto lastY = static_cast<int>(first / height == last / height ? last % height
                                                                         : height - 1);
    if (!Reach(lastY)) {
        std::fill(out, out + count, std::uint8_t{0});
        return;
    }
    BandGrid(rows_).ReadCarrierBits(first, count, out);
}

void DecodingGrid::WritePixel(int /*x*/, int /*y*/, ColorValue /*color*/) {}

PictureResult ReadTextOfPicture(ByteSource& source, const DecodeLimits& limits,
                                ReadOutcome& outcome)
{
    if (std::optional<ReadOutcome> lazily = ReadTextLazily(source)) {
        outcome = std::move(*lazily);
        return {};
    }
    std::unique_ptr<DecodingGrid> grid;
    if (PictureResult opened = DecodingGrid::Open(source, limits, grid); !opened.ok()) {
        return opened;
    }
    ReadOutcome read = ReadText(*grid);
    if (!grid->Failure().ok()) {
        return grid->Failure();
    }
    outcome = std::move(read);
    return {};
}

} // namespace lumenveil

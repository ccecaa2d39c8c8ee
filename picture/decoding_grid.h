#pragma once

#include "codec/hidden_text.h"
#include "codec/pixel_grid.h"
#include "picture/byte_source.h"
#include "picture/picture_decoder.h"
#include "picture/picture_result.h"

#include <memory>

namespace lumenveil {

// A picture seen as the codec's grid while it is still being decoded: each row is decoded when
// a read first reaches it, so that a scan that stops early stops the decoding with it. A scan
// for a message that finds no start marker reads at most the first 39 pixels (for most photos
// the first 9), the top rows of the first column; one that goes on reads column after column,
// and so every row. Rows come
// top-down where the decoder can give them so; any other picture (turned, interlaced, coded
// from the bottom up) is decoded whole at the first read. Read only.
class DecodingGrid final : public PixelGrid
{
public:
    // The grid of the picture in `source`, its headers read and the memory for its pixels had;
    // failing as a load would where either fails. `source` and `limits` must outlive it.
    [[nodiscard]] static PictureResult Open(ByteSource& source, const DecodeLimits& limits,
                                            std::unique_ptr<DecodingGrid>& grid);
    DecodingGrid(const DecodingGrid&) = delete;
    DecodingGrid& operator=(const DecodingGrid&) = delete;

    [[nodiscard]] int ImageWidth() const override { return rows_.width; }
    [[nodiscard]] int ImageHeight() const override { return rows_.height; }
    [[nodiscard]] ColorValue ReadPixel(int x, int y) const override;
    void ReadCarrierBits(std::int64_t first, std::int64_t count, std::uint8_t* out) const override;
    // Does nothing: the grid is only read.
    void WritePixel(int x, int y, ColorValue color) override;

    // Why decoding rows that a read reached failed; OK while it did not. After a failure the
    // pixels read as black, and nothing read from the grid is to be trusted.
    [[nodiscard]] const PictureResult& Failure() const { return failure_; }
    // How many rows, from the top, have been decoded so far.
    [[nodiscard]] int RowsDecoded() const { return ready_; }

private:
    explicit DecodingGrid(std::unique_ptr<PictureDecoder> decoder);

    // Decodes rows until 0 .. lastY are final; false where that fails.
    [[nodiscard]] bool Reach(int lastY) const;

    std::unique_ptr<PictureDecoder> decoder_;
    RowBand rows_; // the whole picture, rows 0 .. ready_ - 1 final
    mutable int ready_ = 0;
    mutable PictureResult failure_;
};

// The message hidden in the picture in `source`, decoding no more of it than the scan reads: a
// plain 24-bit bitmap straight from its file, any other picture through a DecodingGrid. Fails
// as a load would where the rows the scan reached cannot be decoded; damage further on is not
// seen.
[[nodiscard]] PictureResult ReadTextOfPicture(ByteSource& source, const DecodeLimits& limits,
                                              ReadOutcome& outcome);

} // namespace lumenveil

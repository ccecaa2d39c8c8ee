#pragma once

#include "codec/hidden_text.h"
#include "codec/pixel_grid.h"
#include "picture/byte_source.h"
#include "picture/pixel_memory.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumenveil {

// A plain 24-bit bitmap read straight from its file, only the pixels asked for: a hidden
// message lies in the first few pixels of each row, and reading it should not cost the whole
// picture. Pixels are read in strips of columns, each as far down as asked; each new strip is
// eight times as wide as the last (up to a quarter of the picture, or 64 MiB), so that a scan
// that goes on reads the file about once, in few reads a row. Read only.
class BitmapFileGrid final : public PixelGrid
{
public:
    // The picture in `source` when it is an uncompressed 24-bit bitmap that passes every check
    // the decoder makes on such a file. Nothing for any other file, or where in doubt: the
    // caller decodes that one, and the decoder says what is wrong with it. `source` must
    // outlive the grid.
    [[nodiscard]] static std::unique_ptr<BitmapFileGrid> Open(ByteSource& source);
    BitmapFileGrid(const BitmapFileGrid&) = delete;
    BitmapFileGrid& operator=(const BitmapFileGrid&) = delete;

    [[nodiscard]] int ImageWidth() const override { return width_; }
    [[nodiscard]] int ImageHeight() const override { return height_; }
    [[nodiscard]] ColorValue ReadPixel(int x, int y) const override;
    void ReadCarrierBits(std::int64_t first, std::int64_t count, std::uint8_t* out) const override;
    // Does nothing: the grid is only read.
    void WritePixel(int x, int y, ColorValue color) override;

    // Whether a read came back short because the file changed after it was checked, or there
    // was not enough memory for a strip. The pixels it should have given read as black;
    // nothing read from the grid is to be trusted.
    [[nodiscard]] bool ReadFailed() const { return failed_; }

private:
    explicit BitmapFileGrid(ByteSource& source) : source_(source) {}

    // Makes the strip hold columns firstX .. lastX, rows 0 .. lastY at least; false when there
    // is not enough memory for it.
    [[nodiscard]] bool Fetch(int firstX, int lastX, int lastY) const;
    // Reads rows first .. last of the strip, or the first of them; how many it read. A row
    // that cannot be read is black and makes the read fail.
    [[nodiscard]] int ReadRows(int first, int last) const;
    [[nodiscard]] bool ReadAt(std::int64_t offset, unsigned char* to, std::int64_t bytes) const;

    ByteSource& source_;
    int width_ = 0;
    int height_ = 0;
    bool topDown_ = false;
    std::int64_t pixelOffset_ = 0; // where the pixel data starts in the file
    std::int64_t stride_ = 0;      // bytes a row takes in the file, padding included

    // Rows 0 .. stripRows_ - 1 of columns stripX_ .. stripX_ + stripColumns_ - 1, row after
    // row, blue, green and red of each pixel as the file has them.
    mutable PixelMemory strip_;
    mutable std::int64_t stripBytes_ = 0; // what strip_ can hold
    mutable int stripX_ = 0;
    mutable int stripColumns_ = 0;
    mutable int stripRows_ = 0;
    mutable std::vector<unsigned char> scratch_; // the bytes between rows read at once
    mutable bool failed_ = false;
};

// The message hidden in the picture in `source`, read through a BitmapFileGrid. Nothing when it
// is no such bitmap or could not be read as one (memory included): the caller decodes it like
// any picture.
[[nodiscard]] std::optional<ReadOutcome> ReadTextLazily(ByteSource& source);

} // namespace lumenveil

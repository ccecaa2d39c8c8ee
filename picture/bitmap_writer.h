#pragma once

#include "picture/pixel_buffer.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace lumenveil {

// The size in bytes of the 24-bit bitmap file of a width x height picture.
[[nodiscard]] std::int64_t BitmapFileSize(int width, int height);

// Where packed bitmap bytes go: `bytes` belong at `offset` from the file's start. False when
// they could not be written.
using PutBitmapBytes = std::function<bool(std::int64_t offset, std::vector<char>&& bytes)>;

// Writes a picture as an uncompressed 24-bit Windows bitmap: a 14-byte file header, a 40-byte
// BITMAPINFOHEADER, then the rows bottom-up, each B, G, R per pixel and padded to a multiple
// of 4 bytes, every component exactly. The headers first, then bands of rows in any order,
// each packed in pieces of at most 1 MiB of whole rows and put at its place in the file, so
// that memory stays small whatever the picture's size.
class BitmapRowWriter
{
public:
    BitmapRowWriter(int width, int height, PutBitmapBytes put);

    [[nodiscard]] bool WriteHeaders();
    // The rows of `band`, a band of a width x height picture. False when they could not be
    // put, or the memory for a piece could not be had (OutOfMemory then says so).
    [[nodiscard]] bool WriteRows(const RowBand& band);
    // Whether the last failure was for want of memory.
    [[nodiscard]] bool OutOfMemory() const { return outOfMemory_; }

private:
    int width_;
    int height_;
    std::int64_t stride_;
    PutBitmapBytes put_;
    bool outOfMemory_ = false;
};

} // namespace lumenveil

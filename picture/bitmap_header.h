#pragma once

#include "picture/byte_source.h"
#include "picture/picture_result.h"
#include "picture/pixel_memory.h"

#include <cstdint>

namespace lumenveil {

// The compression field of a bitmap's info header.
enum BitmapCompression : std::uint32_t
{
    BitmapRgb = 0,            // pixels as they are
    BitmapRle8 = 1,           // runs of 8-bit palette indexes
    BitmapRle4 = 2,           // runs of 4-bit palette indexes
    BitmapBitFields = 3,      // 16 or 32 bits a pixel under colour masks (Huffman 1D in OS/2)
    BitmapJpeg = 4,           // a JPEG file inside (RLE24 in OS/2)
    BitmapPng = 5,            // a PNG file inside
    BitmapAlphaBitFields = 6, // bit fields with an alpha mask after the colour masks
};

// What a bitmap file's headers say, checked: a picture of this size and layout whose pixel
// data the file holds (whole, where it is stored uncompressed).
struct BitmapHeader
{
    std::int64_t width = 0;
    std::int64_t height = 0; // always positive; top-down files are flagged below
    bool topDown = false;
    std::int64_t pixelOffset = 0; // where the pixel data begins in the file
    std::int64_t pixelBytes = -1; // bytes of uncompressed pixel data; -1 where compressed
    std::uint32_t bitCount = 0;
    std::uint32_t compression = BitmapRgb;
    std::uint32_t headerBytes = 0; // the info header's own size: 12, 16 .. 64, 108 or 124
    bool os2 = false;              // an OS/2 header: 12 bytes, or 16 to 64 other than 40

    // The colour masks of a 16- or 32-bit picture: those the file gives, else the defaults
    // (5 bits each at 16 bits, 8 at 32). The alpha mask is the file's, 0 where it has none.
    std::uint32_t redMask = 0;
    std::uint32_t greenMask = 0;
    std::uint32_t blueMask = 0;
    std::uint32_t alphaMask = 0;

    // The palette of a picture of 8 bits a pixel or fewer: where it starts, its entries (at
    // most 2^bitCount, fewer where the file holds fewer) and their size, 3 bytes under the
    // 12-byte OS/2 header and 4 under every other.
    std::int64_t paletteOffset = 0;
    std::int64_t paletteEntries = 0;
    int paletteEntryBytes = 4;

    std::int64_t fileBytes = 0; // the size of the file the header was read from

    // Bytes of one stored row, padded to a multiple of 4.
    [[nodiscard]] std::int64_t RowBytes() const { return (width * bitCount + 31) / 32 * 4; }
    [[nodiscard]] bool RunLength() const
    {
        return compression == BitmapRle8 || compression == BitmapRle4;
    }
};

// No bitmap we take packs more pixels than this into one byte of its file: a run-length move
// covers at most 255 x 255 pixels in 4 bytes. A header that promises more is damaged.
inline constexpr std::int64_t MaxBitmapPixelsPerByte = 16384;

// Reads the file and info headers from `source` and checks them: their structure, a variant
// we read (Unsupported with what it is otherwise), a size of at most `mostPixels` (TooLarge)
// and one the file can hold, and pixel data that lies in the file, whole where it is stored
// uncompressed. Reads nothing of the pixels, and does not walk the runs of RLE data.
[[nodiscard]] PictureResult ReadBitmapHeader(ByteSource& source, BitmapHeader& header,
                                             std::int64_t mostPixels = MaxPicturePixels);

// Whether the pixels are plain 24-bit BI_RGB rows that the file holds whole: rows that a
// reader can take in place, 3 bytes a pixel, blue, green, red.
[[nodiscard]] bool IsPlainTrueColour(const BitmapHeader& header);

} // namespace lumenveil

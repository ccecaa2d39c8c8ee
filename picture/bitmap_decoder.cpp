#include "picture/bitmap_decoder.h"

#include "picture/bitmap_header.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace lumenveil {

namespace {

// A run-length bitmap may leave pixels to no run (they take the palette's first colour), but
// not most of a large picture: a few bytes of moves and an end code would otherwise make a
// picture of any size out of nothing.
constexpr std::int64_t MaxPixelsLeftByRuns = std::int64_t{1} << 20;

// Uncompressed rows are read this many bytes at a time at most (several short rows, or a piece
// of a long one); run-length data is read in pieces of RunPieceBytes.
constexpr std::int64_t ReadPieceBytes = std::int64_t{1} << 20;
constexpr std::int64_t RunPieceBytes = std::int64_t{64} << 10;

const char* const EndsEarly = "the file ends before its pixel data";
const char* const PastPalette = "some pixels name colours its palette does not have";
const char* const Beyond = "a run of pixels reaches beyond the picture";

PictureResult Damaged(std::string reason)
{
    return PictureFailure(PictureStatus::Damaged, std::move(reason));
}

// One colour component of a 16- or 32-bit pixel under its mask, brought to 8 bits: the
// masked value v of at most m scales to v * 255 / m, rounded to the nearest.
class Channel
{
public:
    Channel() = default;
    explicit Channel(std::uint32_t mask) : mask_(mask)
    {
        if (mask == 0) {
            return;
        }
        shift_ = std::countr_zero(mask);
        most_ = mask >> shift_;
        // Up to 16 bits a table; wider fields (rare: 10 or 18 bits of 32) are worked out.
        if (most_ <= 0xFFFF) {
            table_.resize(most_ + 1);
            for (std::uint32_t v = 0; v <= most_; ++v) {
                table_[v] = Scale(v);
            }
        }
    }

    [[nodiscard]] unsigned char operator()(std::uint32_t pixel) const
    {
        const std::uint32_t v = (pixel & mask_) >> shift_;
        return mask_ == 0 ? 0 : table_.empty() ? Scale(v) : table_[v];
    }

    [[nodiscard]] std::int64_t TableBytes() const
    {
        return static_cast<std::int64_t>(table_.size());
    }

private:
    [[nodiscard]] unsigned char Scale(std::uint64_t v) const
    {
        return static_cast<unsigned char>((v * 510 + most_) / (std::uint64_t{2} * most_));
    }

    std::uint32_t mask_ = 0;
    int shift_ = 0;
    std::uint32_t most_ = 0;
    std::vector<unsigned char> table_;
};

// The bytes of run-length data from one offset on, read ahead in pieces.
class ByteStream
{
public:
    ByteStream(ByteSource& source, std::int64_t start, std::vector<unsigned char>& buffer)
        : source_(source), position_(start), buffer_(buffer)
    {}

    // The next byte; -1 at the end of the file or where reading failed.
    int Next()
    {
        if (at_ == held_ && !Fill()) {
            return -1;
        }
        return buffer_[at_++];
    }

    // Why Next gave -1.
    [[nodiscard]] PictureResult Failure() const
    {
        return failed_ ? PictureFailure(PictureStatus::NotReadable, source_.Error())
                       : Damaged(EndsEarly);
    }

private:
    bool Fill()
    {
        const std::int64_t got =
            source_.ReadAt(position_, buffer_.data(), static_cast<std::int64_t>(buffer_.size()));
        failed_ = got < 0;
        if (got <= 0) {
            return false;
        }
        position_ += got;
        held_ = static_cast<std::size_t>(got);
        at_ = 0;
        return true;
    }

    ByteSource& source_;
    std::int64_t position_;
    std::vector<unsigned char>& buffer_;
    std::size_t held_ = 0;
    std::size_t at_ = 0;
    bool failed_ = false;
};

using Colour = std::array<unsigned char, BytesPerPixel>; // blue, green, red, 0xFF

class BitmapDecoder final : public PictureDecoder
{
public:
    using PictureDecoder::PictureDecoder;

    PictureResult ReadHeader() override
    {
        const std::int64_t mostPixels = std::min<std::int64_t>(limits_.pixels, MaxPicturePixels);
        if (PictureResult read = ReadBitmapHeader(source_, header_, mostPixels); !read.ok()) {
            return read;
        }
        if (PictureResult palette = ReadPalette(); !palette.ok()) {
            return palette;
        }
        if (header_.bitCount == 16 || header_.bitCount == 32) {
            plainPixels_ = header_.bitCount == 32 && header_.redMask == 0xFF0000 &&
                           header_.greenMask == 0x00FF00 && header_.blueMask == 0x0000FF;
            if (!plainPixels_) {
                red_ = Channel(header_.redMask);
                green_ = Channel(header_.greenMask);
                blue_ = Channel(header_.blueMask);
            }
        }
        const std::int64_t pixels = header_.width * header_.height;
        if (header_.RunLength()) {
            // Every check of the runs before anything large is allocated.
            if (PictureResult walked = WalkRuns(nullptr); !walked.ok()) {
                return walked;
            }
            const std::int64_t left = pixels - setPixels_;
            if (left > setPixels_ && left > MaxPixelsLeftByRuns) {
                return Damaged("it claims " + PixelCount(header_.width, header_.height) +
                               " pixels, but its runs set only " + std::to_string(setPixels_) +
                               " of them");
            }
            if (left > 0 && palette_.empty()) {
                return Damaged(PastPalette);
            }
        } else {
            // Whole rows at a time where they are short, pieces of a row where it is long;
            // a piece starts at a byte, which 8 pixels of any depth do.
            const std::int64_t rowBytes = header_.RowBytes();
            chunkRows_ =
                static_cast<int>(std::clamp<std::int64_t>(ReadPieceBytes / rowBytes, 1, BandRows));
            piecePixels_ = std::max<std::int64_t>(8, ReadPieceBytes * 8 / header_.bitCount / 8 * 8);
            bufferBytes_ = chunkRows_ > 1 || rowBytes <= ReadPieceBytes
                               ? rowBytes * chunkRows_
                               : piecePixels_ * header_.bitCount / 8;
        }
        SetSize(static_cast<int>(header_.width), static_cast<int>(header_.height));
        return {};
    }

    Order RowOrder() const override { return header_.RunLength() ? Order::Whole : Order::TopDown; }

protected:
    std::int64_t WorkingBytes() const override
    {
        return (header_.RunLength() ? RunPieceBytes : bufferBytes_) + red_.TableBytes() +
               green_.TableBytes() + blue_.TableBytes();
    }

    PictureResult BeginRows() override
    {
        try {
            buffer_.resize(
                static_cast<std::size_t>(header_.RunLength() ? RunPieceBytes : bufferBytes_));
        } catch (const std::bad_alloc&) {
            return PictureFailure(PictureStatus::OutOfMemory,
                                  "not enough memory for a picture of " +
                                      PixelCount(header_.width, header_.height));
        }
        return {};
    }

    PictureResult DecodeBand(const RowBand& band) override
    {
        if (!header_.RunLength()) {
            return DecodeRows(band);
        }
        // Pixels that no run sets take the palette's first colour.
        if (setPixels_ < header_.width * header_.height) {
            for (int y = band.top; y < band.bottom; ++y) {
                unsigned char* row = band.Row(y);
                for (int x = 0; x < band.width; ++x) {
                    std::memcpy(row + std::ptrdiff_t{x} * BytesPerPixel, palette_[0].data(),
                                BytesPerPixel);
                }
            }
        }
        return WalkRuns(&band);
    }

private:
    PictureResult ReadPalette()
    {
        const std::int64_t entries = header_.bitCount <= 8 ? header_.paletteEntries : 0;
        const int entryBytes = header_.paletteEntryBytes;
        std::vector<unsigned char> bytes(static_cast<std::size_t>(entries * entryBytes));
        const std::int64_t got = bytes.empty()
                                     ? 0
                                     : source_.ReadAt(header_.paletteOffset, bytes.data(),
                                                      static_cast<std::int64_t>(bytes.size()));
        if (got < 0) {
            return PictureFailure(PictureStatus::NotReadable, source_.Error());
        }
        if (got < static_cast<std::int64_t>(bytes.size())) {
            return Damaged(EndsEarly);
        }
        palette_.resize(static_cast<std::size_t>(entries));
        for (std::size_t i = 0; i < palette_.size(); ++i) {
            const unsigned char* entry = bytes.data() + i * static_cast<std::size_t>(entryBytes);
            palette_[i] = {entry[0], entry[1], entry[2], 0xFF};
        }
        return {};
    }

    // Decodes the uncompressed rows of `band`, reading each from where the file holds it.
    PictureResult DecodeRows(const RowBand& band)
    {
        const std::int64_t rowBytes = header_.RowBytes();
        const std::int64_t height = header_.height;
        for (int y = band.top; y < band.bottom;) {
            // Rows next to each other in the picture are next to each other in the file, in
            // reverse order where the file stores them bottom-up.
            const int rows = std::min(chunkRows_, band.bottom - y);
            const std::int64_t firstStored = header_.topDown ? y : height - y - rows;
            const std::int64_t offset = header_.pixelOffset + firstStored * rowBytes;
            if (rows == 1 && rowBytes > bufferBytes_) {
                if (PictureResult row = DecodeLongRow(offset, band.Row(y)); !row.ok()) {
                    return row;
                }
                ++y;
                continue;
            }
            if (PictureResult read = ReadExactly(offset, rowBytes * rows); !read.ok()) {
                return read;
            }
            for (int i = 0; i < rows; ++i) {
                const std::int64_t stored = header_.topDown ? i : rows - 1 - i;
                if (!ConvertPixels(buffer_.data() + stored * rowBytes, band.Row(y + i),
                                   header_.width)) {
                    return Damaged(PastPalette);
                }
            }
            y += rows;
        }
        return {};
    }

    // Decodes a row longer than the buffer, piece by piece.
    PictureResult DecodeLongRow(std::int64_t offset, unsigned char* out)
    {
        for (std::int64_t x = 0; x < header_.width; x += piecePixels_) {
            const std::int64_t count = std::min(piecePixels_, header_.width - x);
            const std::int64_t bytes = (count * header_.bitCount + 7) / 8;
            if (PictureResult read = ReadExactly(offset + x * header_.bitCount / 8, bytes);
                !read.ok()) {
                return read;
            }
            if (!ConvertPixels(buffer_.data(), out + x * BytesPerPixel, count)) {
                return Damaged(PastPalette);
            }
        }
        return {};
    }

    PictureResult ReadExactly(std::int64_t offset, std::int64_t bytes)
    {
        const std::int64_t got = source_.ReadAt(offset, buffer_.data(), bytes);
        if (got < 0) {
            return PictureFailure(PictureStatus::NotReadable, source_.Error());
        }
        // The headers' checks found the data whole; the file has changed since.
        return got < bytes ? Damaged(EndsEarly) : PictureResult{};
    }

    // Turns `count` stored pixels that start at byte `in` into `out`; false where one names an
    // entry past the palette.
    bool ConvertPixels(const unsigned char* in, unsigned char* out, std::int64_t count) const
    {
        const auto put = [&out](const unsigned char* colour) {
            std::memcpy(out, colour, BytesPerPixel);
            out += BytesPerPixel;
        };
        const auto putRgb = [&out](unsigned char blue, unsigned char green, unsigned char red) {
            out[0] = blue;
            out[1] = green;
            out[2] = red;
            out[3] = 0xFF;
            out += BytesPerPixel;
        };
        const std::size_t entries = palette_.size();
        switch (header_.bitCount) {
        case 1:
        case 2:
        case 4: {
            const unsigned bits = header_.bitCount;
            const unsigned perByte = 8 / bits;
            const unsigned mask = (1u << bits) - 1;
            for (std::int64_t x = 0; x < count; ++x) {
                const unsigned place = static_cast<unsigned>(x % perByte);
                const unsigned index = in[x / perByte] >> (8 - bits * (place + 1)) & mask;
                if (index >= entries) {
                    return false;
                }
                put(palette_[index].data());
            }
            break;
        }
        case 8:
            for (std::int64_t x = 0; x < count; ++x) {
                if (in[x] >= entries) {
                    return false;
                }
                put(palette_[in[x]].data());
            }
            break;
        case 16:
            for (std::int64_t x = 0; x < count; ++x, in += 2) {
                const std::uint32_t pixel = in[0] | std::uint32_t{in[1]} << 8;
                putRgb(blue_(pixel), green_(pixel), red_(pixel));
            }
            break;
        case 24:
            for (std::int64_t x = 0; x < count; ++x, in += 3) {
                putRgb(in[0], in[1], in[2]);
            }
            break;
        case 32:
            for (std::int64_t x = 0; x < count; ++x, in += 4) {
                if (plainPixels_) {
                    putRgb(in[0], in[1], in[2]);
                } else {
                    const std::uint32_t pixel = in[0] | std::uint32_t{in[1]} << 8 |
                                                std::uint32_t{in[2]} << 16 |
                                                std::uint32_t{in[3]} << 24;
                    putRgb(blue_(pixel), green_(pixel), red_(pixel));
                }
            }
            break;
        default:
            return false; // ReadBitmapHeader takes no other
        }
        return true;
    }

    // Walks the run-length data to its end-of-bitmap code, and paints the runs into `band`
    // (the whole picture) where there is one; counts the pixels the runs set. A run that
    // passes the end of its row is cut there, as viewers do (some writers pad every row with
    // one); a run above the top row, a move out of the picture, a pixel past the palette and
    // data that ends before the code are damage.
    PictureResult WalkRuns(const RowBand* band)
    {
        std::vector<unsigned char> ownBuffer;
        if (band == nullptr) {
            ownBuffer.resize(static_cast<std::size_t>(RunPieceBytes));
        }
        ByteStream in(source_, header_.pixelOffset, band != nullptr ? buffer_ : ownBuffer);
        const bool rle4 = header_.compression == BitmapRle4;
        const std::int64_t width = header_.width;
        const std::int64_t height = header_.height;
        const std::size_t entries = palette_.size();
        // Where the next pixel goes; y counts rows from the bottom, as the data does.
        std::int64_t x = 0;
        std::int64_t y = 0;
        std::int64_t set = 0;
        // Sets pixel x of data row y to palette entry `index`.
        const auto paint = [&](std::int64_t at, unsigned index) {
            if (band != nullptr) {
                std::memcpy(band->Row(static_cast<int>(height - 1 - y)) + at * BytesPerPixel,
                            palette_[index].data(), BytesPerPixel);
            }
        };
        for (;;) {
            const int count = in.Next();
            const int value = in.Next();
            if (value < 0) {
                return in.Failure();
            }
            if (count > 0) { // `count` pixels of one value, or of two alternating nibbles
                if (y >= height) {
                    return Damaged(Beyond);
                }
                const std::int64_t end = std::min(x + count, width);
                const unsigned first = rle4 ? static_cast<unsigned>(value) >> 4 : value;
                const unsigned second = rle4 ? static_cast<unsigned>(value) & 0xF : value;
                if ((end > x && first >= entries) || (end > x + 1 && second >= entries)) {
                    return Damaged(PastPalette);
                }
                for (std::int64_t at = x; at < end; ++at) {
                    paint(at, (at - x) % 2 == 0 ? first : second);
                }
                set += end - x;
                x = end;
            } else if (value == 0) { // end of line
                x = 0;
                ++y;
            } else if (value == 1) { // end of bitmap
                break;
            } else if (value == 2) { // a move right by dx and up by dy
                const int dx = in.Next();
                const int dy = in.Next();
                if (dy < 0) {
                    return in.Failure();
                }
                if (x + dx > width || y + dy > height) {
                    return Damaged(Beyond);
                }
                x += dx;
                y += dy;
            } else { // `value` pixels stored as they are, padded to a whole 16-bit word
                if (y >= height) {
                    return Damaged(Beyond);
                }
                const int bytes = rle4 ? (value + 1) / 2 : value;
                int byte = 0;
                for (int i = 0; i < value; ++i) {
                    if (!rle4 || i % 2 == 0) {
                        if ((byte = in.Next()) < 0) {
                            return in.Failure();
                        }
                    }
                    const unsigned index =
                        !rle4 ? static_cast<unsigned>(byte)
                              : static_cast<unsigned>(i % 2 == 0 ? byte >> 4 : byte & 0xF);
                    if (x + i < width) {
                        if (index >= entries) {
                            return Damaged(PastPalette);
                        }
                        paint(x + i, index);
                    }
                }
                if (bytes % 2 != 0 && in.Next() < 0) {
                    return in.Failure();
                }
                const std::int64_t end = std::min<std::int64_t>(x + value, width);
                set += end - x;
                x = end;
            }
        }
        setPixels_ = set;
        return {};
    }

    BitmapHeader header_;
    std::vector<Colour> palette_;
    bool plainPixels_ = false; // 32 bits of blue, green, red and a byte that is no colour
    Channel red_;
    Channel green_;
    Channel blue_;
    std::int64_t setPixels_ = 0;   // pixels the runs set
    int chunkRows_ = 1;            // uncompressed rows read at a time
    std::int64_t piecePixels_ = 8; // pixels read at a time of a row longer than the buffer
    std::int64_t bufferBytes_ = 0; // of uncompressed rows
    std::vector<unsigned char> buffer_;
};

} // namespace

std::unique_ptr<PictureDecoder> MakeBitmapDecoder(ByteSource& source, const DecodeLimits& limits)
{
    return std::make_unique<BitmapDecoder>(source, limits);
}

} // namespace lumenveil

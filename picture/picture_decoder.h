#pragma once

#include "picture/byte_source.h"
#include "picture/picture_format.h"
#include "picture/picture_result.h"
#include "picture/pixel_buffer.h"

#include <cstdint>
#include <memory>

namespace lumenveil {

// The largest picture file read into memory whole (one that comes through a pipe): no picture
// of at most MaxPicturePixels needs more than 4 bytes a pixel, and its headers fit in the rest.
inline constexpr std::int64_t MaxPictureFileBytes = 4 * MaxPicturePixels + (std::int64_t{16} << 20);

// What one decode may take. Each load is handed its limits, so that a test can use small ones.
struct DecodeLimits
{
    std::int64_t pixels = MaxPicturePixels;             // a larger picture is TooLarge
    std::int64_t memoryBytes = std::int64_t{1100} << 20; // the pixels and the decoder's own memory
    int scans = 500;                                    // scans of a progressive JPEG
    std::int64_t streamBytes = MaxPictureFileBytes;     // read from a pipe before decoding
};

// Rows decoded at a time where a picture is decoded band by band.
inline constexpr int BandRows = 16;

// Told of a picture's rows as they are decoded, so that its caller can work on them (hide a
// message, write them out) while the rest of the picture is still being decoded. A sink that
// returns false stops the load, which then returns Stopped; the sink knows why.
class RowSink
{
public:
    virtual ~RowSink() = default;

    // The headers passed: a picture of width x height (as loaded, turned by its EXIF
    // orientation) is about to be decoded. Nothing large has been allocated yet.
    [[nodiscard]] virtual bool Begin(int width, int height) = 0;

    // The rows of `band` are final; the sink may change them. Every row comes once, in bands,
    // in any order; whether a load that fails later has told of some rows or none, it fails.
    [[nodiscard]] virtual bool RowsDone(const RowBand& band) = 0;

    // Whether the load is to keep the whole picture. A sink that takes every band as it comes
    // and needs none of it again may say no: a decoder that can then decodes each band into
    // the same few rows of memory, never the whole picture, and a successful load leaves the
    // surface as it was.
    [[nodiscard]] virtual bool KeepPicture() const { return true; }
};

// Reads one picture file of one kind: the headers first, then the rows, band by band. A
// decoder reads one file once, and prints nothing.
class PictureDecoder
{
public:
    // The order the rows come in, once the headers are read.
    enum class Order
    {
        TopDown,  // band after band from the top
        BottomUp, // band after band from the bottom
        Whole,    // all at once, in one band, at the first Next
    };

    PictureDecoder(ByteSource& source, const DecodeLimits& limits)
        : source_(source), limits_(limits)
    {}
    virtual ~PictureDecoder() = default;
    PictureDecoder(const PictureDecoder&) = delete;
    PictureDecoder& operator=(const PictureDecoder&) = delete;

    // Reads the headers and checks that they describe a picture we take and one the file can
    // really hold; nothing large is allocated before this passes.
    [[nodiscard]] virtual PictureResult ReadHeader() = 0;

    // The picture's size as loaded (EXIF orientation applied), once ReadHeader passed.
    [[nodiscard]] int Width() const { return width_; }
    [[nodiscard]] int Height() const { return height_; }
    [[nodiscard]] virtual Order RowOrder() const = 0;

    // Begins decoding into one picture that TakePicture hands over at the end (`whole`), or
    // else, where the order allows, into the memory of one band that each band reuses. Fails
    // as OutOfMemory where that memory and the decoder's own are more than the limits allow
    // or cannot be had.
    [[nodiscard]] PictureResult Start(bool whole);

    // Decodes the next band of final rows, at most `most` (1 .. BandRows) where the rows come
    // band by band, and points `band` at them, until the next call.
    [[nodiscard]] PictureResult Next(RowBand& band, int most = BandRows);

    // Whether every row has been handed out.
    [[nodiscard]] bool Done() const { return done_ >= height_; }

    // The whole picture, once Done, where Start was asked for it; empty otherwise.
    [[nodiscard]] PixelBuffer TakePicture() { return std::move(picture_); }

    // The rows of the whole picture while it is decoded, where Start was asked for it: those
    // that Next has handed out are final, the others not set yet.
    [[nodiscard]] RowBand PictureRows() { return picture_.All(); }

protected:
    // Sets the size ReadHeader found, as loaded.
    void SetSize(int width, int height)
    {
        width_ = width;
        height_ = height;
    }

    // Whether a picture of `width` x `height` is within the limits (TooLarge otherwise), and
    // one that the file's bytes can hold at no more than `pixelsPerByte` pixels a byte
    // (Damaged otherwise).
    [[nodiscard]] PictureResult CheckArea(std::int64_t width, std::int64_t height,
                                          std::int64_t pixelsPerByte) const;

    // Whether Start was asked for the whole picture (or the order needs it), not one band.
    [[nodiscard]] bool KeepsWhole() const { return !picture_.IsEmpty(); }
    // The memory the decoder needs of its own beside the pixels it hands out, in bytes.
    [[nodiscard]] virtual std::int64_t WorkingBytes() const { return 0; }

    // Called once by Start, with the pixels' memory in place.
    [[nodiscard]] virtual PictureResult BeginRows() { return {}; }

    // Decodes the rows of `band` into it: the next BandRows rows in the decoder's order (the
    // last band may be shorter), or the whole picture where the order is Whole.
    [[nodiscard]] virtual PictureResult DecodeBand(const RowBand& band) = 0;

    ByteSource& source_;
    const DecodeLimits& limits_;

private:
    int width_ = 0;
    int height_ = 0;
    bool started_ = false;
    int done_ = 0;          // rows handed out so far
    PixelBuffer picture_;   // the whole picture, where Start was asked for it
    PixelBuffer bandRows_;  // otherwise one band's memory
};

// The decoder for `kind`; null for Unknown. Each reads `source` under `limits`, both of which
// must outlive it.
[[nodiscard]] std::unique_ptr<PictureDecoder> MakeDecoder(PictureKind kind, ByteSource& source,
                                                          const DecodeLimits& limits);

// The decoder for the picture in `source`, its kind sniffed and its headers read and checked.
[[nodiscard]] PictureResult OpenDecoder(ByteSource& source, const DecodeLimits& limits,
                                        PictureKind& kind,
                                        std::unique_ptr<PictureDecoder>& decoder);

// The kind of picture `source` holds, from its first bytes.
[[nodiscard]] PictureKind SniffSource(ByteSource& source);

// Decodes the picture in `source` into `out`: exact 8-bit components, alpha dropped, EXIF
// orientation applied, colour profile not applied. A `sink` is told of the rows as they are
// decoded; where it needs no whole picture, `out` is left as it was. On failure `out` is
// unchanged.
[[nodiscard]] PictureResult DecodePicture(ByteSource& source, const DecodeLimits& limits,
                                          PixelBuffer& out, PictureKind* kind = nullptr,
                                          RowSink* sink = nullptr);

// What a picture's headers say, read without decoding a pixel: its kind and its size as a load
// would give it, with every check the headers allow.
struct PictureHeader
{
    PictureKind kind = PictureKind::Unknown;
    int width = 0;
    int height = 0;
};
[[nodiscard]] PictureResult ReadPictureHeader(ByteSource& source, const DecodeLimits& limits,
                                              PictureHeader& header);

} // namespace lumenveil

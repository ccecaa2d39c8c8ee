#include "picture/png_decoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <png.h>

namespace lumenveil {

namespace {

// Deflate packs at most 1,032 bytes into one, and a picture of one bit a pixel holds 8 pixels
// in each of those: a PNG cannot hold much more than 8,000 pixels for each byte of its file.
constexpr std::int64_t MaxPixelsPerFileByte = 16384;

// What libpng allocates of its own while it decodes: zlib's state and 32 KiB window, and two
// rows of the file at their widest, 8 bytes a pixel (16-bit RGBA).
constexpr std::int64_t ZlibBytes = std::int64_t{48} << 10;
constexpr std::int64_t RowBufferBytesPerPixel = 2 * 8;

constexpr std::size_t MessageBytes = 200;

// Everything libpng touches, as plain data: libpng leaves a failed call through longjmp,
// which skips destructors, so nothing in here may need one.
struct PngJob
{
    png_structp png;
    png_infop info;
    SourceReader* reader;
    bool cutShort;              // the file ended where libpng wanted more
    bool readFailed;            // the system could not read the file
    bool overLimit;             // the header's width or height is past the limits we set
    char message[MessageBytes]; // libpng's reason for giving up
    char warning[MessageBytes]; // and its last warning, which may say more
    png_bytepp rows;            // where the next rows go, for ReadRows
    png_uint_32 rowCount;
};

PngJob& JobOf(png_structp png)
{
    return *static_cast<PngJob*>(png_get_error_ptr(png));
}

void CopyMessage(char (&to)[MessageBytes], png_const_charp message)
{
    std::strncpy(to, message != nullptr ? message : "", MessageBytes - 1);
    to[MessageBytes - 1] = '\0';
}

[[noreturn]] void OnError(png_structp png, png_const_charp message)
{
    CopyMessage(JobOf(png).message, message);
    png_longjmp(png, 1);
}

// Warnings are kept, not shown: libpng warns of what it can pass over (a bad ancillary chunk,
// data after the image, a bad Adler-32 after image data whose every chunk passed its CRC),
// and names each fault of the header before it gives up on it. A
// chunk longer than the memory we allow is one it would pass over too, even the palette, so
// that one ends the decode.
void OnWarning(png_structp png, png_const_charp message)
{
    PngJob& job = JobOf(png);
    CopyMessage(job.warning, message);
    if (message != nullptr && std::strstr(message, "exceeds user limit") != nullptr) {
        job.overLimit = true;
    }
    if (message != nullptr && std::strstr(message, "chunk data is too large") != nullptr) {
        OnError(png, message);
    }
}

void ReadData(png_structp png, png_bytep to, std::size_t bytes)
{
    PngJob& job = *static_cast<PngJob*>(png_get_io_ptr(png));
    std::size_t done = 0;
    while (done < bytes) {
        const std::int64_t got =
            job.reader->Read(to + done, static_cast<std::int64_t>(bytes - done));
        if (got < 0) {
            job.readFailed = true;
            png_error(png, "read failed");
        }
        if (got == 0) {
            job.cutShort = true;
            png_error(png, "cut short");
        }
        done += static_cast<std::size_t>(got);
    }
}

// Runs `step` under libpng's error handling: false when libpng gave up, job.message saying
// why. The setjmp frame is this one, and `step` is plain code, so the longjmp out of libpng
// skips no destructor.
bool RunProtected(PngJob& job, void (*step)(PngJob&))
{
    if (setjmp(png_jmpbuf(job.png)) != 0) {
        return false;
    }
    step(job);
    return true;
}

void ReadInfo(PngJob& job)
{
    png_read_info(job.png, job.info);
}

void ReadRows(PngJob& job)
{
    png_read_rows(job.png, job.rows, nullptr, job.rowCount);
}

void ReadImage(PngJob& job)
{
    png_read_image(job.png, job.rows);
}

void ReadEnd(PngJob& job)
{
    png_read_end(job.png, nullptr);
}

// Every picture becomes B, G, R, 0xFF, but for palette pictures, which come as one index a
// byte for us to look up.
void SetTransforms(PngJob& job)
{
    png_structp png = job.png;
    const png_byte type = png_get_color_type(png, job.info);
    const png_byte depth = png_get_bit_depth(png, job.info);
    if (type == PNG_COLOR_TYPE_PALETTE) {
        png_set_packing(png);
    } else {
        png_set_scale_16(png); // rounds, where png_set_strip_16 would cut off the low byte
        if ((type & PNG_COLOR_MASK_COLOR) == 0) {
            if (depth < 8) {
                png_set_expand_gray_1_2_4_to_8(png);
            }
            png_set_gray_to_rgb(png);
        }
        if ((type & PNG_COLOR_MASK_ALPHA) != 0) {
            png_set_strip_alpha(png);
        }
        png_set_bgr(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    }
    if (png_get_interlace_type(png, job.info) != PNG_INTERLACE_NONE) {
        (void)png_set_interlace_handling(png);
    }
    png_read_update_info(png, job.info);
}

// Lower-cases the first letter of libpng's message where it starts a sentence, not a chunk's
// name or another word in capitals.
std::string Lowered(std::string text)
{
    if (text.size() >= 2 && text[0] >= 'A' && text[0] <= 'Z' &&
        !(text[1] >= 'A' && text[1] <= 'Z')) {
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    }
    return text;
}

class PngDecoder final : public PictureDecoder
{
public:
    PngDecoder(ByteSource& source, const DecodeLimits& limits)
        : PictureDecoder(source, limits), reader_(source), job_(std::make_unique<PngJob>())
    {}

    ~PngDecoder() override
    {
        if (job_->png != nullptr) {
            png_destroy_read_struct(&job_->png, &job_->info, nullptr);
        }
    }

    PictureResult ReadHeader() override
    {
        PngJob& job = *job_;
        job.reader = &reader_;
        job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, OnError, OnWarning);
        if (job.png != nullptr) {
            job.info = png_create_info_struct(job.png);
        }
        if (job.info == nullptr) {
            return PictureFailure(PictureStatus::OutOfMemory, "not enough memory to read it");
        }
        png_set_read_fn(job.png, &job, ReadData);
        // libpng's own checks, from our limits: the header's width and height each within the
        // pixels allowed (CheckArea then checks their product), and no chunk longer than the
        // memory allowed. Every chunk that does not make the pixels (text, colour profiles,
        // gamma, transparency) is read past without being kept, so none of them is
        // decompressed into memory and none of them changes a pixel.
        const auto most =
            static_cast<png_uint_32>(std::clamp<std::int64_t>(limits_.pixels, 1, PNG_UINT_31_MAX));
        png_set_user_limits(job.png, most, most);
        png_set_chunk_malloc_max(
            job.png, static_cast<png_alloc_size_t>(std::clamp<std::int64_t>(
                         limits_.memoryBytes, 1, std::numeric_limits<std::int32_t>::max())));
        png_set_keep_unknown_chunks(job.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
        static const png_byte Transparency[] = "tRNS";
        png_set_keep_unknown_chunks(job.png, PNG_HANDLE_CHUNK_NEVER, Transparency, 1);
        if (!RunProtected(job, ReadInfo)) {
            return Failure();
        }

        const std::int64_t width = png_get_image_width(job.png, job.info);
        const std::int64_t height = png_get_image_height(job.png, job.info);
        if (PictureResult area = CheckArea(width, height, MaxPixelsPerFileByte); !area.ok()) {
            return area;
        }
        palette_ = png_get_color_type(job.png, job.info) == PNG_COLOR_TYPE_PALETTE;
        if (palette_) {
            png_colorp colours = nullptr;
            int count = 0;
            // libpng refuses a palette picture without a palette before it gets here.
            (void)png_get_PLTE(job.png, job.info, &colours, &count);
            paletteSize_ = std::clamp(count, 0, 256);
            for (int i = 0; i < paletteSize_; ++i) {
                colours_[i] = std::uint32_t{0xFF000000} | std::uint32_t{colours[i].red} << 16 |
                              std::uint32_t{colours[i].green} << 8 | colours[i].blue;
            }
        }
        interlaced_ = png_get_interlace_type(job.png, job.info) != PNG_INTERLACE_NONE;
        SetSize(static_cast<int>(width), static_cast<int>(height));
        return {};
    }

    // Rows of an interlaced picture are final only after its last pass.
    Order RowOrder() const override { return interlaced_ ? Order::Whole : Order::TopDown; }

protected:
    std::int64_t WorkingBytes() const override
    {
        return ZlibBytes + RowBufferBytesPerPixel * Width() +
               static_cast<std::int64_t>(sizeof(png_bytep)) * (interlaced_ ? Height() : BandRows);
    }

    PictureResult BeginRows() override
    {
        try {
            rows_.resize(static_cast<std::size_t>(interlaced_ ? Height() : BandRows));
        } catch (const std::bad_alloc&) {
            return PictureFailure(PictureStatus::OutOfMemory,
                                  "not enough memory for a picture of " +
                                      PixelCount(Width(), Height()));
        }
        if (!RunProtected(*job_, SetTransforms)) {
            return Failure();
        }
        const std::size_t expected =
            std::size_t{palette_ ? 1u : 4u} * static_cast<std::size_t>(Width());
        if (png_get_rowbytes(job_->png, job_->info) != expected) {
            return PictureFailure(PictureStatus::Unsupported, "an unusual layout of its pixels");
        }
        return {};
    }

    // A palette picture's indices are decoded into the last quarter of each row, then looked
    // up in place, from the left: the colour of pixel x lands before index x + 1.
    PictureResult DecodeBand(const RowBand& band) override
    {
        PngJob& job = *job_;
        const std::ptrdiff_t indexOffset = palette_ ? std::ptrdiff_t{3} * band.width : 0;
        for (int y = band.top; y < band.bottom; ++y) {
            rows_[static_cast<std::size_t>(y - band.top)] = band.Row(y) + indexOffset;
        }
        job.rows = rows_.data();
        job.rowCount = static_cast<png_uint_32>(band.Rows());
        if (!RunProtected(job, interlaced_ ? ReadImage : ReadRows)) {
            return Failure();
        }
        if (palette_) {
            bool pastPalette = false;
            for (int y = band.top; y < band.bottom; ++y) {
                pastPalette |= LookUp(band.Row(y), band.width);
            }
            if (pastPalette) {
                return PictureFailure(PictureStatus::Damaged,
                                      "some pixels name colours its palette does not have");
            }
        }
        // Every row is decoded and the image data passed its checks: its last chunk's CRC
        // is checked with the last row. What follows holds nothing we show, so a file cut
        // short or damaged after it (no IEND, a bad chunk) loads all the same, as it does in
        // common viewers; png_read_end only lets libpng finish its reading.
        if (band.bottom == band.height) {
            (void)RunProtected(job, ReadEnd);
        }
        return {};
    }

private:
    // Turns the `width` indices at row + 3 * width into colours; true where one of them is
    // past the palette (it becomes black).
    bool LookUp(unsigned char* row, int width) const
    {
        const unsigned char* indices = row + std::ptrdiff_t{3} * width;
        bool past = false;
        for (int x = 0; x < width; ++x) {
            const unsigned index = indices[x];
            past |= index >= static_cast<unsigned>(paletteSize_);
            const std::uint32_t colour = colours_[index];
            const unsigned char pixel[4] = {static_cast<unsigned char>(colour),
                                            static_cast<unsigned char>(colour >> 8),
                                            static_cast<unsigned char>(colour >> 16), 0xFF};
            std::memcpy(row + std::ptrdiff_t{4} * x, pixel, sizeof pixel);
        }
        return past;
    }

    // The size the file's header claims, read from the bytes themselves: for when libpng
    // refused the header before it kept it.
    std::string ClaimedSize() const
    {
        unsigned char header[8] = {};
        if (source_.ReadAt(16, header, sizeof header) != sizeof header) {
            return "its size";
        }
        const auto field = [&header](int at) {
            return std::uint32_t{header[at]} << 24 | std::uint32_t{header[at + 1]} << 16 |
                   std::uint32_t{header[at + 2]} << 8 | header[at + 3];
        };
        return PixelCount(field(0), field(4));
    }

    // What libpng's reason for giving up means for the user.
    PictureResult Failure() const
    {
        const PngJob& job = *job_;
        if (job.readFailed) {
            return PictureFailure(PictureStatus::NotReadable, source_.Error());
        }
        if (job.cutShort) {
            return PictureFailure(PictureStatus::Damaged, "the file ends before its picture data");
        }
        if (job.overLimit) {
            return PictureFailure(PictureStatus::TooLarge, ClaimedSize());
        }
        std::string message = job.message;
        // libpng names each fault of the header in a warning, then gives up on all of them.
        if (message == "Invalid IHDR data" && job.warning[0] != '\0') {
            message = job.warning;
        }
        if (message.find("emory") != std::string::npos) { // "Out of memory", "insufficient memory"
            return PictureFailure(PictureStatus::OutOfMemory,
                                  "not enough memory for a picture of " + ClaimedSize());
        }
        if (message.find("chunk data is too large") != std::string::npos) {
            return PictureFailure(PictureStatus::OutOfMemory,
                                  "it holds a chunk larger than the memory Lumenveil allows "
                                  "itself");
        }
        if (message == "Not enough image data") {
            return PictureFailure(PictureStatus::Damaged,
                                  "its image data ends before its last row");
        }
        // "IDAT: CRC error" says which chunk; the reason says it the other way round.
        if (message.size() > 6 && message[4] == ':' && message[5] == ' ') {
            return PictureFailure(PictureStatus::Damaged, Lowered(message.substr(6)) + " in its " +
                                                              message.substr(0, 4) + " chunk");
        }
        if (message.empty()) {
            message = "the picture data cannot be decoded";
        }
        return PictureFailure(PictureStatus::Damaged, Lowered(message));
    }

    SourceReader reader_;
    std::unique_ptr<PngJob> job_;
    std::vector<png_bytep> rows_;
    bool palette_ = false;
    bool interlaced_ = false;
    int paletteSize_ = 0;
    std::uint32_t colours_[256] = {}; // 0xFFRRGGBB; black past the palette
};

} // namespace

std::unique_ptr<PictureDecoder> MakePngDecoder(ByteSource& source, const DecodeLimits& limits)
{
    return std::make_unique<PngDecoder>(source, limits);
}

} // namespace lumenveil

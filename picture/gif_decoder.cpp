#include "picture/gif_decoder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gif_lib.h>

namespace lumenveil {

namespace {

// An LZW code is at least 1.5 bytes once its table is full, and stands for at most 4,096
// pixels: a GIF cannot hold much more than 2,700 pixels for each byte of its file.
constexpr std::int64_t MaxPixelsPerFileByte = 4096;

// What giflib allocates of its own: the LZW tables and a sub-block, about 20 KiB.
constexpr std::int64_t GiflibBytes = std::int64_t{32} << 10;

// The rows of each pass of an interlaced image: the first, and the step to the next.
constexpr int PassStart[] = {0, 4, 2, 1};
constexpr int PassStep[] = {8, 8, 4, 2};

const std::string CutShort = "the file ends before its picture data";

class GifDecoder final : public PictureDecoder
{
public:
    GifDecoder(ByteSource& source, const DecodeLimits& limits)
        : PictureDecoder(source, limits), reader_(source)
    {}

    ~GifDecoder() override
    {
        if (gif_ != nullptr) {
            int error = 0;
            (void)DGifCloseFile(gif_, &error);
        }
    }

    PictureResult ReadHeader() override
    {
        int error = 0;
        gif_ = DGifOpen(this, ReadGif, &error);
        if (gif_ == nullptr) {
            return Failure(error);
        }
        // Extensions before the first image (comments, the loop count, the transparent
        // index of its graphic control) change none of its colours: skip them.
        for (GifRecordType type = UNDEFINED_RECORD_TYPE; type != IMAGE_DESC_RECORD_TYPE;) {
            if (DGifGetRecordType(gif_, &type) == GIF_ERROR) {
                return Failure(gif_->Error);
            }
            if (type == TERMINATE_RECORD_TYPE) {
                return PictureFailure(PictureStatus::Damaged, CutShort);
            }
            if (type == EXTENSION_RECORD_TYPE) {
                int code = 0;
                GifByteType* block = nullptr;
                if (DGifGetExtension(gif_, &code, &block) == GIF_ERROR) {
                    return Failure(gif_->Error);
                }
                while (block != nullptr) {
                    if (DGifGetExtensionNext(gif_, &block) == GIF_ERROR) {
                        return Failure(gif_->Error);
                    }
                }
            }
        }
        if (DGifGetImageDesc(gif_) == GIF_ERROR) {
            return Failure(gif_->Error);
        }

        frame_ = gif_->Image;
        // The frame's own colour table before the file's. With neither, the file gives its
        // pixels no colours at all; a table of our own would make them up.
        const ColorMapObject* table =
            frame_.ColorMap != nullptr ? frame_.ColorMap : gif_->SColorMap;
        if (table == nullptr) {
            return PictureFailure(PictureStatus::Damaged, "it has no colour table");
        }
        if (frame_.Width <= 0 || frame_.Height <= 0) {
            return PictureFailure(PictureStatus::Damaged, "its first image has no pixels");
        }
        // The frame's pixels are decoded whether or not the screen shows them all.
        const std::int64_t framePixels = std::int64_t{frame_.Width} * frame_.Height;
        if (framePixels > MaxPixelsPerFileByte * std::max<std::int64_t>(source_.Size(), 1)) {
            return PictureFailure(PictureStatus::Damaged,
                                  "it claims " + PixelCount(frame_.Width, frame_.Height) +
                                      " pixels, far more than its " +
                                      std::to_string(source_.Size()) + " bytes can hold");
        }
        // The picture is the logical screen; a file that gives it no size gets the one its
        // first image covers.
        const int width = gif_->SWidth > 0 ? gif_->SWidth : frame_.Left + frame_.Width;
        const int height = gif_->SHeight > 0 ? gif_->SHeight : frame_.Top + frame_.Height;
        if (PictureResult area = CheckArea(width, height, MaxPixelsPerFileByte); !area.ok()) {
            return area;
        }

        tableSize_ = std::clamp(table->ColorCount, 0, 256);
        for (int i = 0; i < tableSize_; ++i) {
            colours_[i] = Colour(table->Colors[i]);
        }
        // Outside the frame: the background colour the file names in its own table, black
        // where it has none or names a colour past it (a careless encoder's zero).
        const ColorMapObject* screen = gif_->SColorMap;
        background_ = screen != nullptr && gif_->SBackGroundColor < screen->ColorCount
                          ? Colour(screen->Colors[gif_->SBackGroundColor])
                          : std::uint32_t{0xFF000000};
        SetSize(width, height);
        return {};
    }

    // An interlaced image's rows come in four passes over it.
    Order RowOrder() const override { return frame_.Interlace ? Order::Whole : Order::TopDown; }

protected:
    std::int64_t WorkingBytes() const override { return GiflibBytes + frame_.Width; }

    PictureResult BeginRows() override
    {
        try {
            line_.resize(static_cast<std::size_t>(frame_.Width));
        } catch (const std::bad_alloc&) {
            return PictureFailure(PictureStatus::OutOfMemory,
                                  "not enough memory for a picture of " +
                                      PixelCount(Width(), Height()));
        }
        return {};
    }

    PictureResult DecodeBand(const RowBand& band) override
    {
        for (int y = band.top; y < band.bottom; ++y) {
            Fill(band.Row(y), band.width);
        }
        if (frame_.Interlace) {
            for (int pass = 0; pass < 4; ++pass) {
                for (int row = PassStart[pass]; row < frame_.Height; row += PassStep[pass]) {
                    if (PictureResult line = DecodeLine(band, frame_.Top + row); !line.ok()) {
                        return line;
                    }
                }
            }
            return {};
        }
        // The frame's rows in this band, then, after the last band, those below the screen:
        // the first image's data is read to its end.
        const int first = std::max(band.top, frame_.Top);
        const int end = band.bottom == band.height
                            ? frame_.Top + frame_.Height
                            : std::min(band.bottom, frame_.Top + frame_.Height);
        for (int y = first; y < end; ++y) {
            if (PictureResult line = DecodeLine(band, y); !line.ok()) {
                return line;
            }
        }
        return {};
    }

private:
    static std::uint32_t Colour(const GifColorType& colour)
    {
        return std::uint32_t{0xFF000000} | std::uint32_t{colour.Red} << 16 |
               std::uint32_t{colour.Green} << 8 | colour.Blue;
    }

    static void Put(unsigned char* pixel, std::uint32_t colour)
    {
        const unsigned char bytes[4] = {static_cast<unsigned char>(colour),
                                        static_cast<unsigned char>(colour >> 8),
                                        static_cast<unsigned char>(colour >> 16), 0xFF};
        std::memcpy(pixel, bytes, sizeof bytes);
    }

    // Gives the `width` pixels of `row` the background colour, for the frame to cover.
    void Fill(unsigned char* row, int width) const
    {
        for (int x = 0; x < width; ++x) {
            Put(row + std::ptrdiff_t{4} * x, background_);
        }
    }

    // Decodes the frame's next line, which lands on row `y` of the picture; where that is
    // outside the band (below the screen), it is read and dropped. giflib refuses the codes
    // its table cannot hold but one: a code not defined yet, other than the next one, right
    // after a string, which it decodes into that string and a made-up pixel.
    PictureResult DecodeLine(const RowBand& band, int y)
    {
        if (DGifGetLine(gif_, line_.data(), frame_.Width) == GIF_ERROR) {
            return Failure(gif_->Error);
        }
        bool pastTable = false;
        for (const GifPixelType index : line_) {
            pastTable |= index >= tableSize_;
        }
        if (pastTable) {
            return PictureFailure(PictureStatus::Damaged,
                                  "some pixels name colours its colour table does not have");
        }
        if (y < band.top || y >= band.bottom) {
            return {};
        }
        unsigned char* row = band.Row(y);
        const int shown = std::clamp(band.width - frame_.Left, 0, frame_.Width);
        for (int x = 0; x < shown; ++x) {
            Put(row + std::ptrdiff_t{4} * (frame_.Left + x),
                colours_[line_[static_cast<std::size_t>(x)]]);
        }
        return {};
    }

    static int ReadGif(GifFileType* gif, GifByteType* to, int bytes)
    {
        auto& decoder = *static_cast<GifDecoder*>(gif->UserData);
        int done = 0;
        while (done < bytes) {
            const std::int64_t got = decoder.reader_.Read(to + done, bytes - done);
            if (got <= 0) {
                (got < 0 ? decoder.readFailed_ : decoder.cutShort_) = true;
                break;
            }
            done += static_cast<int>(got);
        }
        return done;
    }

    // What giflib's error code means for the user; the end of the file and the system's
    // errors, which giflib reports as one, come first.
    PictureResult Failure(int error) const
    {
        if (readFailed_) {
            return PictureFailure(PictureStatus::NotReadable, source_.Error());
        }
        if (cutShort_) {
            return PictureFailure(PictureStatus::Damaged, CutShort);
        }
        std::string reason;
        switch (error) {
        case D_GIF_ERR_NOT_GIF_FILE:
            return PictureFailure(PictureStatus::NotAPicture);
        case D_GIF_ERR_NOT_ENOUGH_MEM:
            return PictureFailure(PictureStatus::OutOfMemory, "not enough memory to read it");
        case D_GIF_ERR_WRONG_RECORD:
            reason = "a block of an unknown kind comes before its picture";
            break;
        case D_GIF_ERR_EOF_TOO_SOON:
            reason = "its picture data ends before its last pixel";
            break;
        case D_GIF_ERR_DATA_TOO_BIG:
            reason = "its picture data holds more pixels than its image";
            break;
        default: // a code its table does not hold, an empty block inside the data
            reason = "its picture data is damaged";
            break;
        }
        return PictureFailure(PictureStatus::Damaged, reason);
    }

    SourceReader reader_;
    GifFileType* gif_ = nullptr;
    GifImageDesc frame_ = {};
    bool cutShort_ = false;
    bool readFailed_ = false;
    int tableSize_ = 0;
    std::uint32_t colours_[256] = {}; // 0xFFRRGGBB; black past the table
    std::uint32_t background_ = 0xFF000000;
    std::vector<GifPixelType> line_;
};

} // namespace

std::unique_ptr<PictureDecoder> MakeGifDecoder(ByteSource& source, const DecodeLimits& limits)
{
    return std::make_unique<GifDecoder>(source, limits);
}

} // namespace lumenveil

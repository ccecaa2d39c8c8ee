// Any bytes, handed to the picture decoders as a file's content: each either gives a picture
// within its limits or fails with a reason; it never crashes, overruns or leaks. Every other
// input is decoded band by band, as a hide into a file decodes it: every row must come once.
// Where an input decodes whole, reading its message as reveal does, decoding only the rows the
// scan reaches, finds what the whole picture holds.
#include "picture/decoding_grid.h"
#include "picture/picture_decoder.h"
#include "picture/picture_surface.h"

#include <cstdlib>
#include <vector>

namespace {

using namespace lumenveil;

// Small limits: a fuzzer's time goes into what the decoders do, not into filling huge pictures.
const DecodeLimits Limits = [] {
    DecodeLimits limits;
    limits.pixels = std::int64_t{1} << 22;
    limits.memoryBytes = std::int64_t{256} << 20;
    limits.scans = 100;
    return limits;
}();

class CountingSink final : public RowSink
{
public:
    bool Begin(int width, int height) override
    {
        if (width < 1 || height < 1 || std::int64_t{width} * height > Limits.pixels) {
            std::abort();
        }
        seen_.assign(static_cast<std::size_t>(height), false);
        return true;
    }
    bool RowsDone(const RowBand& band) override
    {
        if (band.top < 0 || band.bottom > band.height || band.top >= band.bottom) {
            std::abort();
        }
        for (int y = band.top; y < band.bottom; ++y) {
            if (seen_[static_cast<std::size_t>(y)]) {
                std::abort(); // every row comes once
            }
            seen_[static_cast<std::size_t>(y)] = true;
            const unsigned char* row = band.Row(y);
            for (int x = 0; x < band.width; ++x) {
                if (row[x * BytesPerPixel + 3] != 0xFF) {
                    std::abort();
                }
            }
        }
        return true;
    }
    bool KeepPicture() const override { return false; }
    [[nodiscard]] bool AllSeen() const
    {
        for (const bool seen : seen_) {
            if (!seen) {
                return false;
            }
        }
        return true;
    }

private:
    std::vector<bool> seen_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    MemorySource source(data, size);
    PixelBuffer picture;
    if (size % 2 == 0) {
        const PictureResult result = DecodePicture(source, Limits, picture);
        if (result.ok() != !picture.IsEmpty() ||
            (result.ok() && picture.Width() * std::int64_t{picture.Height()} > Limits.pixels)) {
            std::abort(); // a picture within the limits, or a failure that hands back nothing
        }
        if (!result.ok() && result.status != PictureStatus::NotAPicture && result.reason.empty()) {
            std::abort(); // every failure says why
        }
        ReadOutcome read;
        const PictureResult revealed = ReadTextOfPicture(source, Limits, read);
        if (result.ok()) {
            const ReadOutcome whole = ReadText(BandGrid(picture.All()));
            if (!revealed.ok() || read.status != whole.status || read.text != whole.text) {
                std::abort();
            }
        }
    } else {
        CountingSink sink;
        const PictureResult result = DecodePicture(source, Limits, picture, nullptr, &sink);
        if (!picture.IsEmpty() || (result.ok() && !sink.AllSeen())) {
            std::abort();
        }
    }
    return 0;
}

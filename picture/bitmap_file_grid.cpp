#include "picture/bitmap_file_grid.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "picture/bitmap_header.h"

#ifdef __unix__
#include <sys/uio.h>
#endif

namespace lumenveil {

namespace {

constexpr int FirstStripColumns = 16;
constexpr int StripGrowth = 8;
// A strip grows to a quarter of the pixel data, or to this where that is less; larger only
// where one read asks for more. Every strip costs a read a row, so a long scan needs few.
constexpr std::int64_t StripBytes = std::int64_t{64} << 20;
// Two parts a row; the system takes at least 1024 parts a call (IOV_MAX).
constexpr int RowsPerCall = 256;

} // namespace

std::unique_ptr<BitmapFileGrid> BitmapFileGrid::Open(ByteSource& source)
{
    BitmapHeader header;
    if (!ReadBitmapHeader(source, header).ok() || !IsPlainTrueColour(header)) {
        return nullptr;
    }
    std::unique_ptr<BitmapFileGrid> grid(new BitmapFileGrid(source));
    grid->width_ = static_cast<int>(header.width);
    grid->height_ = static_cast<int>(header.height);
    grid->topDown_ = header.topDown;
    grid->pixelOffset_ = header.pixelOffset;
    grid->stride_ = header.RowBytes();
    return grid;
}

ColorValue BitmapFileGrid::ReadPixel(int x, int y) const
{
    if (!Fetch(x, x, y)) {
        return 0;
    }
    const unsigned char* p = strip_.get() + (std::int64_t{y} * stripColumns_ + x - stripX_) * 3;
    return ComposeColor(p[2], p[1], p[0]);
}

void BitmapFileGrid::ReadCarrierBits(std::int64_t first, std::int64_t count,
                                     std::uint8_t* out) const
{
    if (count <= 0) {
        return;
    }
    const std::int64_t height = height_;
    const std::int64_t last = first + count - 1;
    const auto firstX = static_cast<int>(first / height);
    const auto lastX = static_cast<int>(last / height);
    if (!Fetch(firstX, lastX, firstX == lastX ? static_cast<int>(last % height) : height_ - 1)) {
        std::fill(out, out + count, std::uint8_t{0});
        return;
    }
    const std::int64_t pitch = std::int64_t{stripColumns_} * 3;
    const unsigned char* runStart = strip_.get() + std::int64_t{firstX - stripX_} * 3;
    CopyRunFromRows<3>(
        first, count, height, out, [&](int y) { return runStart + y * pitch; },
        [](const unsigned char* bgr) {
            return static_cast<std::uint8_t>((bgr[2] & 1) << 2 | (bgr[1] & 1) << 1 | (bgr[0] & 1));
        });
}

void BitmapFileGrid::WritePixel(int, int, ColorValue) {}

bool BitmapFileGrid::Fetch(int firstX, int lastX, int lastY) const
{
    if (firstX < stripX_ || lastX >= stripX_ + stripColumns_) {
        const std::int64_t asked = lastX - firstX + 1;
        const std::int64_t most = std::max(
            asked, std::max(StripBytes, stride_ * height_ / 4) / (std::int64_t{height_} * 3));
        const std::int64_t wider =
            stripColumns_ == 0 ? FirstStripColumns : std::int64_t{stripColumns_} * StripGrowth;
        const std::int64_t columns =
            std::min({std::max(asked, wider), most, std::int64_t{width_ - firstX}});
        if (columns * height_ * 3 > stripBytes_) { // else the last strip's memory will do
            stripBytes_ = columns * height_ * 3;
            strip_ = AllocatePixelMemory(static_cast<std::size_t>(stripBytes_));
            if (!strip_) {
                stripBytes_ = 0;
                stripColumns_ = 0;
                failed_ = true;
                return false;
            }
        }
        stripX_ = firstX;
        stripColumns_ = static_cast<int>(columns);
        stripRows_ = 0;
    }
    while (stripRows_ <= lastY) {
        stripRows_ += ReadRows(stripRows_, lastY);
    }
    return true;
}

// `last` only bounds the run that preadv reads at once, where the system has it.
int BitmapFileGrid::ReadRows(int first, [[maybe_unused]] int last) const
{
    const std::int64_t pitch = std::int64_t{stripColumns_} * 3;
#ifdef __unix__
    const ReadFile* file = source_.File();
    const std::int64_t gap = stride_ - pitch;
    // A wide strip's rows are read a run at a time, the bytes between them (fewer than the
    // strip's own) going to a scratch row: that costs less than a call for each row. A narrow
    // strip takes a call a row, which costs less than copying whole rows of the file.
    if (file != nullptr && last > first && gap <= pitch) {
        scratch_.resize(static_cast<std::size_t>(gap));
        const int rows = std::min(last - first + 1, RowsPerCall);
        // The file holds the rows bottom up unless it is top-down; the parts go in its order.
        iovec parts[2 * RowsPerCall - 1];
        for (int k = 0; k < rows; ++k) {
            const int row = topDown_ ? first + k : first + rows - 1 - k;
            parts[2 * k] = {strip_.get() + row * pitch, static_cast<std::size_t>(pitch)};
            if (k + 1 < rows) {
                parts[2 * k + 1] = {scratch_.data(), static_cast<std::size_t>(gap)};
            }
        }
        const std::int64_t fileRow = topDown_ ? first : height_ - first - rows;
        const std::int64_t offset = pixelOffset_ + fileRow * stride_ + std::int64_t{stripX_} * 3;
        if (::preadv(file->Descriptor(), parts, 2 * rows - 1, offset) == rows * pitch + (rows - 1) * gap) {
            return rows;
        }
        // Cut short (by a signal, say): row by row, which tells a short file from that.
    }
#endif
    const std::int64_t fileRow = topDown_ ? first : height_ - 1 - first;
    unsigned char* to = strip_.get() + first * pitch;
    if (!ReadAt(pixelOffset_ + fileRow * stride_ + std::int64_t{stripX_} * 3, to, pitch)) {
        std::memset(to, 0, static_cast<std::size_t>(pitch));
        failed_ = true;
    }
    return 1;
}

bool BitmapFileGrid::ReadAt(std::int64_t offset, unsigned char* to, std::int64_t bytes) const
{
    return source_.ReadAt(offset, to, bytes) == bytes;
}

std::optional<ReadOutcome> ReadTextLazily(ByteSource& source)
{
    const std::unique_ptr<BitmapFileGrid> grid = BitmapFileGrid::Open(source);
    if (!grid) {
        return std::nullopt;
    }
    // Where memory runs out, the whole load gets its chance and says so if it fails too.
    try {
        ReadOutcome outcome = ReadText(*grid);
        if (grid->ReadFailed()) {
            return std::nullopt;
        }
        return outcome;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace lumenveil

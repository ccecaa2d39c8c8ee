#include "picture/bitmap_file_grid.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <sys/uio.h>
#include <unistd.h>
#endif

namespace lumenveil {

namespace {

constexpr int FileHeaderBytes = 14;
constexpr int InfoHeaderBytes = 40;
constexpr int FirstStripColumns = 16;
constexpr int StripGrowth = 8;
// A strip grows to a quarter of the pixel data, or to this where that is less; larger only
// where one read asks for more. Every strip costs a read a row, so a long scan needs few.
constexpr std::int64_t StripBytes = std::int64_t{64} << 20;
// Two parts a row; the system takes at least 1024 parts a call (IOV_MAX).
constexpr int RowsPerCall = 256;

// The little-endian number of `Bytes` bytes at `at`.
template <int Bytes> std::uint32_t Little(const unsigned char* at)
{
    std::uint32_t value = 0;
    for (int i = Bytes - 1; i >= 0; --i) {
        value = value << 8 | at[i];
    }
    return value;
}

// Opens a regular file for reading; -1 for anything else. A pipe is never opened for good:
// that would wait for a writer, or take what the loader has to read after us.
int OpenRegularFile(const NativeName& path)
{
#ifdef _WIN32
    const int file = ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY);
    struct _stat64 status {};
    if (file >= 0 && (::_fstat64(file, &status) != 0 || (status.st_mode & _S_IFREG) == 0)) {
        ::_close(file);
        return -1;
    }
#else
    const int file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status {};
    if (file >= 0 && (::fstat(file, &status) != 0 || !S_ISREG(status.st_mode))) {
        ::close(file);
        return -1;
    }
#endif
    return file;
}

std::int64_t FileSize(int file)
{
#ifdef _WIN32
    struct _stat64 status {};
    return ::_fstat64(file, &status) == 0 ? status.st_size : -1;
#else
    struct stat status {};
    return ::fstat(file, &status) == 0 ? status.st_size : -1;
#endif
}

} // namespace

std::unique_ptr<BitmapFileGrid> BitmapFileGrid::Open(const NativeName& path)
{
    std::unique_ptr<BitmapFileGrid> grid(new BitmapFileGrid);
    grid->file_ = OpenRegularFile(path);
    unsigned char head[FileHeaderBytes + InfoHeaderBytes];
    if (grid->file_ < 0 || !grid->ReadAt(0, head, sizeof head)) {
        return nullptr;
    }
    // Exactly the fields of a plain 24-bit bitmap. The loader (Qt's reader, in fact) refuses a
    // width below 1, a height of 0 and a plane count other than 1.
    const auto width = static_cast<std::int32_t>(Little<4>(head + 18));
    const auto height = static_cast<std::int32_t>(Little<4>(head + 22));
    if (head[0] != 'B' || head[1] != 'M' || Little<4>(head + 14) != InfoHeaderBytes ||
        width < 1 || height == 0 || Little<2>(head + 26) != 1 ||
        Little<2>(head + 28) != 24 || Little<4>(head + 30) != 0) {
        return nullptr;
    }
    // The loader's checks: a size we take, and pixel data the file holds whole. A reader
    // takes the pixels from the stated offset but never from inside the headers.
    const std::int64_t rows = height < 0 ? -std::int64_t{height} : height;
    const std::int64_t stride = (std::int64_t{width} * 24 + 31) / 32 * 4;
    const std::int64_t pixelOffset =
        std::max<std::int64_t>(Little<4>(head + 10), FileHeaderBytes + InfoHeaderBytes);
    const std::int64_t size = FileSize(grid->file_);
    if (width * rows > MaxPicturePixels || pixelOffset >= size ||
        stride * rows > size - pixelOffset) {
        return nullptr;
    }
    grid->width_ = width;
    grid->height_ = static_cast<int>(rows);
    grid->topDown_ = height < 0;
    grid->pixelOffset_ = pixelOffset;
    grid->stride_ = stride;
    return grid;
}

BitmapFileGrid::~BitmapFileGrid()
{
    if (file_ >= 0) {
#ifdef _WIN32
        ::_close(file_);
#else
        ::close(file_);
#endif
    }
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

int BitmapFileGrid::ReadRows(int first, int last) const
{
    const std::int64_t pitch = std::int64_t{stripColumns_} * 3;
#ifdef __unix__
    const std::int64_t gap = stride_ - pitch;
    // A wide strip's rows are read a run at a time, the bytes between them (fewer than the
    // strip's own) going to a scratch row: that costs less than a call for each row. A narrow
    // strip takes a call a row, which costs less than copying whole rows of the file.
    if (last > first && gap <= pitch) {
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
        if (::preadv(file_, parts, 2 * rows - 1, offset) == rows * pitch + (rows - 1) * gap) {
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
    while (bytes > 0) {
#ifdef _WIN32
        const auto most = static_cast<unsigned>(std::min<std::int64_t>(bytes, 1 << 30));
        const int got = ::_lseeki64(file_, offset, SEEK_SET) == offset
                            ? ::_read(file_, to, most)
                            : -1;
#else
        // One call a row, and no seek: the rows of a strip lie a whole file row apart.
        const ssize_t got = ::pread(file_, to, static_cast<std::size_t>(bytes), offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
#endif
        if (got <= 0) {
            return false;
        }
        to += got;
        offset += got;
        bytes -= got;
    }
    return true;
}

std::optional<ReadOutcome> ReadTextLazily(const NativeName& path)
{
    const std::unique_ptr<BitmapFileGrid> grid = BitmapFileGrid::Open(path);
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

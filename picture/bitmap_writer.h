#pragma once

#include <QImage>

#include <functional>
#include <vector>

class QIODevice;

namespace lumenveil {

// Writes `image` (Format_RGB32) to `device` as an uncompressed 24-bit Windows bitmap: a 14-byte
// file header, a 40-byte BITMAPINFOHEADER, then the rows bottom-up, each B, G, R per pixel and
// padded to a multiple of 4 bytes. Every component is written exactly. Streams the rows in
// chunks, so memory stays small whatever the picture's size; a file is handed to the disk every
// few MiB as it goes, so that a sync after it has little left to wait for. Returns false as soon
// as the device takes less than it was given.
[[nodiscard]] bool WriteBitmap(QIODevice& device, const QImage& image);

// The size in bytes of the file WriteBitmap produces for a width x height picture.
[[nodiscard]] qint64 BitmapFileSize(int width, int height);

// Where packed bitmap bytes go: `bytes` belong at `offset` from the file's start. False when
// they could not be written.
using PutBitmapBytes = std::function<bool(qint64 offset, std::vector<char>&& bytes)>;

// Writes `bytes` to `device` at `offset` from where the device stood when it was made, seeking
// only where they do not follow what came before, and hands a file's data to the disk every
// few MiB as it goes, without waiting for it: a sync after it then has little left to do.
class BitmapDeviceOutput
{
public:
    explicit BitmapDeviceOutput(QIODevice& device);

    [[nodiscard]] bool Put(qint64 offset, const std::vector<char>& bytes);

private:
    void HandToDisk(qint64 from, qint64 to);

    QIODevice& device_;
    qint64 start_;    // where the file starts on the device
    qint64 next_ = 0; // where the device stands, from start_
    qint64 handedFrom_ = 0;
    qint64 handedTo_ = 0; // written but not yet handed to the disk: handedFrom_ .. handedTo_
};

// WriteBitmap a band of rows at a time: the headers of a width x height bitmap, then bands of
// rows in any order, each packed in pieces of at most 1 MiB of whole rows and put at its place
// in the file.
class BitmapRowWriter
{
public:
    BitmapRowWriter(int width, int height, PutBitmapBytes put);

    [[nodiscard]] bool WriteHeaders();

    // Rows top .. bottom - 1 of the picture (width x height); row y is row y - imageTop of
    // `image` (Format_RGB32), the whole picture or a band of it.
    [[nodiscard]] bool WriteRows(const QImage& image, int top, int bottom, int imageTop = 0);

private:
    int width_;
    int height_;
    qint64 stride_;
    PutBitmapBytes put_;
};

} // namespace lumenveil

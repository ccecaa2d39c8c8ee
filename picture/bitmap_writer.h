#pragma once

#include <QImage>

class QIODevice;

namespace lumenveil {

// Writes `image` (Format_RGB32) to `device` as an uncompressed 24-bit Windows bitmap: a 14-byte
// file header, a 40-byte BITMAPINFOHEADER, then the rows bottom-up, each B, G, R per pixel and
// padded to a multiple of 4 bytes. Every component is written exactly. Streams the rows in
// chunks, so memory stays small whatever the picture's size; a file is handed to the disk every
// few MiB as it goes, so that a sync after it has little left to wait for. Returns false as soon
// as the device takes less than it was given.
[[nodiscard]] bool WriteBitmap(QIODevice& device, const QImage& image);

// The same, a band of rows at a time: the headers of a width x height bitmap at the device's
// position, then bands of rows in any order, each at its place in the file. Only a band that
// does not follow the one before it needs a device that can seek.
class BitmapRowWriter
{
public:
    BitmapRowWriter(QIODevice& device, int width, int height);

    [[nodiscard]] bool WriteHeaders();

    // Rows top .. bottom - 1 of `image` (Format_RGB32, width x height).
    [[nodiscard]] bool WriteRows(const QImage& image, int top, int bottom);

private:
    // Starts the disk writing what the file has taken, every few MiB, without waiting for it:
    // the sync that makes a save safe then finds little left to write, and still waits for
    // all of it, so nothing changes in what a finished save promises.
    void HandToDisk(qint64 from, qint64 to);

    QIODevice& device_;
    int width_;
    int height_;
    qint64 stride_;
    qint64 start_; // where the headers go
    qint64 next_;  // where the device stands, from start_
    qint64 handedFrom_ = 0;
    qint64 handedTo_ = 0; // written but not yet handed to the disk: handedFrom_ .. handedTo_
};

// The size in bytes of the file WriteBitmap produces for a width x height picture.
[[nodiscard]] qint64 BitmapFileSize(int width, int height);

} // namespace lumenveil

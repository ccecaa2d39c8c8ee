#pragma once

#include "picture/bitmap_writer.h"
#include "picture/picture_result.h"
#include "picture/replacing_file.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace lumenveil {

// One save of a picture as a 24-bit bitmap file. The new file is written beside the old one and
// replaces it only once it is complete and on the disk: after any failure, or when the save is
// dropped before Commit, an existing file is untouched and nothing is left behind. The rows can
// be written in bands as a picture is decoded: a thread of the save's own writes them and has
// the disk make them durable every few MiB, so that neither the writing nor the wait for the
// disk holds up the decoder, and the sync at the end finds little left to do.
class BitmapFileSave
{
public:
    explicit BitmapFileSave(const NativeName& path);
    ~BitmapFileSave();
    BitmapFileSave(const BitmapFileSave&) = delete;
    BitmapFileSave& operator=(const BitmapFileSave&) = delete;

    // Checks that the file may be written, creates the new one and writes the headers of a
    // width x height bitmap.
    [[nodiscard]] PictureResult Begin(int width, int height);
    // The rows of `band`, in any order of bands.
    [[nodiscard]] PictureResult WriteRows(const RowBand& band);
    // Once every row is written: waits for the disk, then puts the new file in place.
    [[nodiscard]] PictureResult Commit();

private:
    // Hands packed bytes to the writing thread; waits while too much is waiting already.
    [[nodiscard]] bool Queue(std::int64_t offset, std::vector<char>&& bytes);
    void WriteQueued();
    // Lets the writing thread finish what is queued, or drop it, and waits for it to end.
    void StopWriting(bool finish);
    [[nodiscard]] PictureResult WriteFailed();

    ReplacingFile file_;
    std::optional<BitmapRowWriter> rows_;

    struct Piece
    {
        std::int64_t offset;
        std::vector<char> bytes;
    };
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Piece> queued_;     // under mutex_
    std::int64_t queuedBytes_ = 0; // under mutex_
    bool whole_ = false;           // under mutex_: the rows came all at once
    bool finishing_ = false;       // under mutex_: nothing more comes
    bool failed_ = false;          // under mutex_: the thread stopped on a failure
    PictureResult failure_;        // the thread's failure, read once it has ended
    std::thread writing_;
};

} // namespace lumenveil

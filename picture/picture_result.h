#pragma once

#include <string>
#include <string_view>

namespace lumenveil {

enum class PictureStatus
{
    Ok,
    NotFound,      // no file by that name
    NotReadable,   // the file exists but cannot be opened or read
    NotAPicture,   // not a BMP, JPEG, GIF or PNG file
    Damaged,       // a picture file whose data is broken or cut short
    Unsupported,   // a rare variant of a kind we read (a JPEG inside a bitmap, say)
    TooLarge,      // more pixels than a decode's limits allow
    OutOfMemory,   // the memory for the decoded picture cannot be had, or is more than allowed
    NothingToSave, // the surface holds no picture yet
    CannotWrite,   // the bitmap file could not be written
    Stopped,       // the load's RowSink stopped it; the sink knows why
};

// How a load or save went. `reason` is UTF-8, the system's or the decoder's own words, with no
// full stop at the end: the sentence that quotes it ends it.
struct PictureResult
{
    PictureStatus status = PictureStatus::Ok;
    std::string reason;

    [[nodiscard]] bool ok() const { return status == PictureStatus::Ok; }
};

[[nodiscard]] inline PictureResult PictureFailure(PictureStatus status, std::string reason = {})
{
    return {status, std::move(reason)};
}

// A sentence for the user, UTF-8, that names the file as `name` (UTF-8, as the user would
// write it: "standard input" for a picture read from there) and says what went wrong.
[[nodiscard]] std::string DescribePictureResult(const PictureResult& result,
                                                std::string_view name);

// "W × H", as the messages about a picture's size give it.
[[nodiscard]] std::string PixelCount(long long width, long long height);

// `value` with its thousands grouped by commas: "268,435,456".
[[nodiscard]] std::string GroupedNumber(long long value);

} // namespace lumenveil

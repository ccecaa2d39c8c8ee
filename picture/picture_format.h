#pragma once

#include <cstddef>

namespace lumenveil {

// The kinds of picture file we read, told apart by their first bytes, never by the file name.
enum class PictureKind
{
    Unknown,
    Bitmap,
    Jpeg,
    Gif,
    Png,
};

// Bytes SniffPictureKind wants to see, where the file has them.
inline constexpr std::size_t SniffBytes = 8;

// The kind whose signature the file's first `size` bytes start with.
[[nodiscard]] PictureKind SniffPictureKind(const unsigned char* head, std::size_t size);

} // namespace lumenveil

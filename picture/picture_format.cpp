#include "picture/picture_format.h"

#include <cstring>

namespace lumenveil {

namespace {

bool StartsWith(const unsigned char* head, std::size_t size, const char* signature)
{
    const std::size_t length = std::strlen(signature);
    return size >= length && std::memcmp(head, signature, length) == 0;
}

} // namespace

PictureKind SniffPictureKind(const unsigned char* head, std::size_t size)
{
    if (StartsWith(head, size, "BM")) {
        return PictureKind::Bitmap;
    }
    if (StartsWith(head, size, "\xFF\xD8\xFF")) {
        return PictureKind::Jpeg;
    }
    if (StartsWith(head, size, "GIF87a") || StartsWith(head, size, "GIF89a")) {
        return PictureKind::Gif;
    }
    if (StartsWith(head, size, "\x89PNG\r\n\x1A\n")) {
        return PictureKind::Png;
    }
    return PictureKind::Unknown;
}

} // namespace lumenveil

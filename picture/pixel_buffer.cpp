#include "picture/pixel_buffer.h"

namespace lumenveil {

PixelBuffer PixelBuffer::Allocate(int width, int height)
{
    PixelBuffer buffer;
    if (width <= 0 || height <= 0 || std::int64_t{width} * height > MaxPicturePixels) {
        return buffer;
    }
    buffer.memory_ = AllocatePixelMemory(static_cast<std::size_t>(width) * BytesPerPixel *
                                         static_cast<std::size_t>(height));
    if (buffer.memory_) {
        buffer.width_ = width;
        buffer.height_ = height;
    }
    return buffer;
}

RowBand PixelBuffer::Rows(int top, int bottom)
{
    return {Row(top), Stride(), width_, height_, top, bottom};
}

} // namespace lumenveil

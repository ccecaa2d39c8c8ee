#pragma once

#include <cstddef>
#include <memory>

namespace lumenveil {

// The largest picture we work on: 1 GiB of pixels at 4 bytes each.
inline constexpr long long MaxPicturePixels = 1LL << 28;

// Gives back memory of AllocatePixelMemory: unmaps `mapped` bytes, or frees what malloc gave.
struct PixelMemoryRelease
{
    std::size_t mapped = 0;
    void operator()(unsigned char* memory) const;
};
using PixelMemory = std::unique_ptr<unsigned char[], PixelMemoryRelease>;

// `bytes` of memory for pixels, not set; null when it cannot be had. On Linux a block of 2 MiB
// or more is asked for in huge pages, which cuts the page faults of filling it tenfold.
[[nodiscard]] PixelMemory AllocatePixelMemory(std::size_t bytes);

// Asks that `bytes` of memory at `memory` be given in ordinary pages after all: memory of
// which only a little will ever be touched, where a huge page would have to be cleared whole.
void UseOrdinaryPages(unsigned char* memory, std::size_t bytes);

} // namespace lumenveil

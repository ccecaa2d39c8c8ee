#include "picture/pixel_memory.h"

#include <cstdint>
#include <cstdlib>

#ifdef __unix__
#include <sys/mman.h>
#endif

namespace lumenveil {

namespace {

#ifdef __unix__
// Huge pages are 2 MiB on the processors we build for; smaller blocks take ordinary memory,
// where a huge page would be mostly wasted.
constexpr std::size_t HugePageBytes = std::size_t{2} << 20;

// `bytes` of fresh memory that starts on a huge-page boundary, so that the kernel can give
// the whole of it in huge pages; null when the system has none to give. `length` is what to
// unmap.
unsigned char* MapAligned(std::size_t bytes, std::size_t& length)
{
    constexpr std::size_t Page = 4096;
    length = (bytes + Page - 1) / Page * Page;
    void* raw = ::mmap(nullptr, length + HugePageBytes, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) {
        return nullptr;
    }
    auto* const base = static_cast<unsigned char*>(raw);
    const std::size_t head =
        (HugePageBytes - reinterpret_cast<std::uintptr_t>(base) % HugePageBytes) % HugePageBytes;
    unsigned char* const start = base + head;
    if (head > 0) {
        ::munmap(base, head);
    }
    if (HugePageBytes > head) {
        ::munmap(start + length, HugePageBytes - head);
    }
#ifdef MADV_HUGEPAGE
    ::madvise(start, length, MADV_HUGEPAGE);
#endif
    return start;
}
#endif

} // namespace

void PixelMemoryRelease::operator()(unsigned char* memory) const
{
#ifdef __unix__
    if (mapped > 0) {
        ::munmap(memory, mapped);
        return;
    }
#endif
    std::free(memory);
}

PixelMemory AllocatePixelMemory(std::size_t bytes)
{
#ifdef __unix__
    if (bytes >= HugePageBytes) {
        std::size_t length = 0;
        unsigned char* start = MapAligned(bytes, length);
        return PixelMemory(start, PixelMemoryRelease{start != nullptr ? length : 0});
    }
#endif
    return PixelMemory(static_cast<unsigned char*>(std::malloc(bytes)));
}

void UseOrdinaryPages(unsigned char* memory, std::size_t bytes)
{
#if defined(__unix__) && defined(MADV_NOHUGEPAGE)
    constexpr std::uintptr_t Page = 4096;
    const auto start = reinterpret_cast<std::uintptr_t>(memory) / Page * Page;
    ::madvise(reinterpret_cast<void*>(start), bytes + (reinterpret_cast<std::uintptr_t>(memory) - start),
              MADV_NOHUGEPAGE);
#else
    (void)memory;
    (void)bytes;
#endif
}

} // namespace lumenveil

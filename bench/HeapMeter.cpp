#include "HeapMeter.h"

#include <malloc.h>

#include <cstdlib>
#include <new>

namespace {

// Counted by the replaced operator new below; the benchmark is single
// threaded.
std::size_t gNewCalls = 0;

void* CountedAllocate(std::size_t size) {
    ++gNewCalls;
    void* const block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

} // namespace

void* operator new(std::size_t size) {
    return CountedAllocate(size);
}

void* operator new[](std::size_t size) {
    return CountedAllocate(size);
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete[](void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t /*size*/) noexcept {
    std::free(block);
}

void operator delete[](void* block, std::size_t /*size*/) noexcept {
    std::free(block);
}

std::size_t HeapMeter::LiveBytes() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void HeapMeter::KeepFreedMemory() {
    // 32 MiB is the largest mapping threshold the allocator accepts.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

void HeapMeter::Settle() {
    // A request too large for the small-block lists merges them first.
    // The write keeps the compiler from removing the pair.
    auto* const large = static_cast<volatile char*>(std::malloc(256 << 10));
    if (large != nullptr) {
        large[0] = 0;
    }
    std::free(const_cast<char*>(large));
}

std::size_t HeapMeter::NewCalls() {
    return gNewCalls;
}

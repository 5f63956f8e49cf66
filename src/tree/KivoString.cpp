#include "tree/KivoString.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace {

char* AllocateBytes(std::size_t capacity) {
    if (capacity >= UINT32_MAX) {
        throw std::bad_alloc();
    }
    return new char[capacity + 1];
}

} // namespace

KivoString::KivoString(const char* text) : KivoString(text, std::strlen(text)) {}

KivoString::KivoString(const char* bytes, std::size_t length) {
    Assign(bytes, length);
}

KivoString::KivoString(const KivoString& other) {
    Assign(other.data(), other.size());
}

KivoString::KivoString(KivoString&& other) noexcept {
    local_[0] = '\0';
    swap(other);
}

KivoString& KivoString::operator=(const KivoString& other) {
    if (this != &other) {
        KivoString copy(other);
        swap(copy);
    }
    return *this;
}

KivoString& KivoString::operator=(KivoString&& other) noexcept {
    KivoString taken(static_cast<KivoString&&>(other));
    swap(taken);
    return *this;
}

KivoString::~KivoString() {
    if (!IsLocal()) {
        delete[] heap_;
    }
}

void KivoString::Assign(const char* bytes, std::size_t length) {
    // Only called on a freshly constructed, local string.
    if (length > kLocalCapacity) {
        heap_ = AllocateBytes(length);
        capacity_ = static_cast<std::uint32_t>(length);
    }
    char* const target = Bytes();
    if (length != 0) {
        std::memcpy(target, bytes, length);
    }
    target[length] = '\0';
    size_ = static_cast<std::uint32_t>(length);
}

void KivoString::append(const char* bytes, std::size_t length) {
    constexpr std::size_t kLargest = UINT32_MAX - 1;
    // Checked before adding, so the sum cannot wrap where size_t is 32 bits.
    if (length > kLargest - size_) {
        throw std::bad_alloc();
    }
    const std::size_t newSize = size_ + length;
    if (newSize <= capacity_) {
        char* const target = Bytes();
        if (length != 0) {
            std::memmove(target + size_, bytes, length);
        }
        target[newSize] = '\0';
        size_ = static_cast<std::uint32_t>(newSize);
        return;
    }
    const std::size_t doubled = std::min<std::size_t>(2 * std::size_t{capacity_}, kLargest);
    const std::size_t grown = std::max(newSize, doubled);
    char* const block = AllocateBytes(grown);
    // The old block is released last: bytes may point into it.
    std::memcpy(block, c_str(), size_);
    std::memcpy(block + size_, bytes, length);
    block[newSize] = '\0';
    if (!IsLocal()) {
        delete[] heap_;
    }
    heap_ = block;
    size_ = static_cast<std::uint32_t>(newSize);
    capacity_ = static_cast<std::uint32_t>(grown);
}

void KivoString::swap(KivoString& other) noexcept {
    // The union is copied as raw bytes: either member moves with it.
    char buffer[sizeof(local_)];
    std::memcpy(buffer, local_, sizeof(local_));
    std::memcpy(local_, other.local_, sizeof(local_));
    std::memcpy(other.local_, buffer, sizeof(local_));
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
}

#ifndef NKKIVO_TREE_KIVOSTRING_H
#define NKKIVO_TREE_KIVOSTRING_H

#include <cstddef>
#include <cstdint>

// A byte string for names, values and attributes, always NUL-terminated.
// Up to 15 bytes live inside the object; longer strings own one heap block.
// It takes 24 bytes where std::string takes 32, which matters because a tree
// holds two per tag and two per attribute: memory per tag is parse time.
//
// The heap block is exactly as large as the first string that needed it;
// only append grows it geometrically. Sizes are limited to 32 bits; a longer
// string is refused with std::bad_alloc, like any failed allocation.
class KivoString {
  public:
    KivoString() noexcept { local_[0] = '\0'; }
    explicit KivoString(const char* text);
    KivoString(const char* bytes, std::size_t length);
    KivoString(const KivoString& other);
    KivoString(KivoString&& other) noexcept;
    KivoString& operator=(const KivoString& other);
    KivoString& operator=(KivoString&& other) noexcept;
    ~KivoString();

    const char* c_str() const noexcept { return IsLocal() ? local_ : heap_; }
    const char* data() const noexcept { return c_str(); }
    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }

    // Appends length bytes; on a failed allocation the string is unchanged.
    void append(const char* bytes, std::size_t length);
    void swap(KivoString& other) noexcept;

  private:
    static constexpr std::uint32_t kLocalCapacity = 15;

    bool IsLocal() const noexcept { return capacity_ == kLocalCapacity; }
    char* Bytes() noexcept { return IsLocal() ? local_ : heap_; }
    void Assign(const char* bytes, std::size_t length);

    // Heap capacities are always above kLocalCapacity, so capacity_ alone
    // tells which member of the union is live.
    union {
        char* heap_;
        char local_[kLocalCapacity + 1];
    };
    std::uint32_t size_ = 0;
    std::uint32_t capacity_ = kLocalCapacity;
};

#endif

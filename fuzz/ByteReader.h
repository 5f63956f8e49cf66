#ifndef NKKIVO_FUZZ_BYTEREADER_H
#define NKKIVO_FUZZ_BYTEREADER_H

#include <cstddef>
#include <cstdint>
#include <string>

// Hands out a fuzz input one decision at a time. Once the input is used up
// every read answers zero, so a program decoded from it always ends cleanly.
class ByteReader {
  public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Empty() const { return position_ >= size_; }
    std::uint8_t Byte();
    // A value below `bound` (bound > 0), drawn from one byte.
    std::size_t Below(std::size_t bound) { return Byte() % bound; }
    // Up to `count` raw bytes, fewer when the input ends first.
    std::string Bytes(std::size_t count);

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

#endif

#include "ByteReader.h"

#include <algorithm>

std::uint8_t ByteReader::Byte() {
    if (Empty()) {
        return 0;
    }
    return data_[position_++];
}

std::string ByteReader::Bytes(std::size_t count) {
    const std::size_t taken = std::min(count, size_ - std::min(position_, size_));
    std::string out(reinterpret_cast<const char*>(data_ + position_), taken);
    position_ += taken;
    return out;
}

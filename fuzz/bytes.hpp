#pragma once

#include <cstddef>
#include <cstdint>

/// A fuzz input's bytes, read in order as numbers, then zeros once they run out.
class bytes {
 public:
  bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  /// The next `count` bytes (at most 4) as one number, the first the most significant.
  std::uint32_t next(int count) {
    std::uint32_t number = 0;
    for (int k = 0; k < count; ++k) number = number << 8 | (at_ < size_ ? data_[at_++] : 0U);
    return number;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

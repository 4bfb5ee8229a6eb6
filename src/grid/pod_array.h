// A flat array of plain values for the grid's per-record columns. Unlike std::vector it grows
// without copying: its block is remapped, so a million-record array never pauses the caller to
// copy itself nor holds two copies at the moment it grows. Only for types copied byte by byte.
#pragma once

#include "platform/growable_memory.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace zandrex {

template <class T> class PodArray {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                "PodArray moves its values as bytes");

public:
  PodArray() = default;
  PodArray(const PodArray&) = delete;
  PodArray& operator=(const PodArray&) = delete;
  PodArray(PodArray&& other) noexcept { swap(other); }
  PodArray& operator=(PodArray&& other) noexcept {
    PodArray gone(std::move(other));
    swap(gone);
    return *this;
  }
  ~PodArray() { release(); }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  T& back() { return data_[size_ - 1]; }

  void push_back(const T& value) {
    // value may live in this array, which growing moves.
    const T copy = value;
    ensure(size_ + 1);
    data_[size_++] = copy;
  }
  T& emplace_back() {
    ensure(size_ + 1);
    return *::new (data_ + size_++) T();
  }
  // New values are value-initialised; shrinking keeps the memory for regrowth.
  void resize(std::size_t count) {
    ensure(count);
    for (std::size_t i = size_; i < count; ++i)
      ::new (data_ + i) T();
    size_ = count;
  }
  // Room for count values without growing again (memory is taken, not paged in).
  void reserve(std::size_t count) { ensure(count); }
  // New values are left unset, for a caller that writes each before reading it.
  void resizeForOverwrite(std::size_t count) {
    ensure(count);
    size_ = count;
  }
  // The caller is done with the values before count but still indexes the rest from the start:
  // the whole pages they fill stop holding memory (and read as zero bytes from then on).
  void forgetBefore(std::size_t count) {
    platform::forgetMemory(data_, std::min(count, size_) * sizeof(T));
  }
  void assign(std::size_t count, const T& value) {
    const T copy = value;
    size_ = 0;
    ensure(count);
    std::uninitialized_fill_n(data_, count, copy);
    size_ = count;
  }
  // Empties the array and gives its memory back.
  void clear() { release(); }
  // How many values fit without growing.
  std::size_t capacity() const { return bytes_ / sizeof(T); }
  // Gives back the memory beyond what the values need.
  void shrinkToFit() {
    if (size_ == 0) {
      release();
      return;
    }
    const std::size_t bytes = platform::blockBytes(size_ * sizeof(T));
    if (bytes >= bytes_)
      return;
    data_ = static_cast<T*>(platform::resizeMemory(data_, bytes_, bytes));
    bytes_ = bytes;
  }

private:
  void ensure(std::size_t count) {
    if (count <= capacity())
      return;
    // Far beyond any memory, and clear of overflow in the doubling and the system's rounding.
    if (count > SIZE_MAX / 4 / sizeof(T))
      throw std::bad_alloc();
    const std::size_t bytes = platform::blockBytes(std::max(count, capacity() * 2) * sizeof(T));
    void* block =
        data_ ? platform::resizeMemory(data_, bytes_, bytes) : platform::reserveMemory(bytes);
    data_ = static_cast<T*>(block);
    bytes_ = bytes;
  }
  void release() {
    if (data_)
      platform::releaseMemory(data_, bytes_);
    data_ = nullptr;
    size_ = 0;
    bytes_ = 0;
  }
  void swap(PodArray& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(bytes_, other.bytes_);
  }

  T* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t bytes_ = 0;
};

} // namespace zandrex

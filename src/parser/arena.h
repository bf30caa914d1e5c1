// The storage of syntax trees: a bump allocator whose blocks are freed together, and the
// two ways nodes refer to each other inside it, `Box` (one node) and `List` (a run of
// nodes, in order). Only trivially destructible types go in, so freeing runs no code but
// the blocks' release.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

namespace ostrel::parser::ast {

// One node in the arena of its root; null where a node is optional.
template <class T>
using Box = T*;

// A run of nodes in the arena of their root.
template <class T>
class List {
 public:
  List() = default;
  List(T* data, std::size_t size) : data_(data), size_(size) {}

  T* begin() const { return data_; }
  T* end() const { return data_ + size_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](std::size_t i) const { return data_[i]; }
  T& front() const { return data_[0]; }
  T& back() const { return data_[size_ - 1]; }

 private:
  T* data_ = nullptr;
  std::size_t size_ = 0;
};

class Arena {
 public:
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  Arena(Arena&& other) noexcept { take(other); }
  Arena& operator=(Arena&& other) noexcept {
    if (this != &other) {
      release();
      take(other);
    }
    return *this;
  }
  ~Arena() { release(); }

  // The first block's size, before anything is allocated; a guess from the text's length
  // saves growing for most formulas.
  void reserve(std::size_t bytes) {
    if (head_ == nullptr) next_block_ = std::clamp<std::size_t>(bytes, kMinBlock, kMaxFirstBlock);
  }

  // Room for `count` values of T, default-initialised (T is trivial, so: uninitialised).
  template <class T>
  T* allocate(std::size_t count) {
    static_assert(std::is_trivially_destructible_v<T> && alignof(T) <= alignof(std::max_align_t));
    if (count > (SIZE_MAX / 2) / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(raw(count * sizeof(T), alignof(T)));
  }

  template <class T, class... Args>
  T* make(Args&&... args) {
    return ::new (allocate<T>(1)) T{std::forward<Args>(args)...};
  }

  std::string_view copy(std::string_view text) {
    if (text.empty()) return {};
    char* data = allocate<char>(text.size());
    std::memcpy(data, text.data(), text.size());
    return {data, text.size()};
  }

 private:
  // A first block up to this size comes from the allocator's per-thread cache of small
  // chunks, which costs a few instructions where a larger one costs a search.
  static constexpr std::size_t kMinBlock = 256;
  static constexpr std::size_t kMaxFirstBlock = 1024 - 32;

  struct Block {
    Block* previous;
  };
  static constexpr std::size_t kHeader =
      (sizeof(Block) + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);

  void* raw(std::size_t bytes, std::size_t align) {
    std::uintptr_t at = (cursor_ + (align - 1)) & ~(std::uintptr_t{align} - 1);
    if (head_ == nullptr || at > end_ || bytes > end_ - at) {
      grow(bytes + align);
      at = (cursor_ + (align - 1)) & ~(std::uintptr_t{align} - 1);
    }
    cursor_ = at + bytes;
    return reinterpret_cast<void*>(at);
  }

  void grow(std::size_t at_least) {
    const std::size_t size = std::max(next_block_, at_least);
    void* memory = std::malloc(kHeader + size);
    if (memory == nullptr) throw std::bad_alloc();
    head_ = ::new (memory) Block{head_};
    cursor_ = reinterpret_cast<std::uintptr_t>(memory) + kHeader;
    end_ = cursor_ + size;
    next_block_ = size * 2;
  }

  void release() {
    while (head_ != nullptr) {
      Block* previous = head_->previous;
      std::free(head_);
      head_ = previous;
    }
  }

  void take(Arena& other) {
    head_ = std::exchange(other.head_, nullptr);
    cursor_ = other.cursor_;
    end_ = other.end_;
    next_block_ = other.next_block_;
  }

  Block* head_ = nullptr;
  std::uintptr_t cursor_ = 0;
  std::uintptr_t end_ = 0;
  std::size_t next_block_ = kMinBlock;
};

// A list under construction, in the arena: elements are filled in place, and nodes built
// while filling one (nested lists included) go elsewhere in the arena, so a reference to
// the element being filled stays valid until the next `push`. Growing copies the elements
// to a larger run and leaves the old one unused: at most as much again as the list.
template <class T>
class ListBuilder {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  // A new element, value-initialised, at the end.
  T& push(Arena& arena) {
    if (size_ == capacity_) {
      const std::size_t capacity = capacity_ == 0 ? 2 : capacity_ * 2;
      T* data = arena.allocate<T>(capacity);
      if (size_ != 0) std::memcpy(static_cast<void*>(data), static_cast<const void*>(data_), size_ * sizeof(T));
      data_ = data;
      capacity_ = capacity;
    }
    return *::new (data_ + size_++) T{};
  }
  void pop() { --size_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& back() { return data_[size_ - 1]; }
  List<T> list() const { return List<T>(data_, size_); }

 private:
  T* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace ostrel::parser::ast

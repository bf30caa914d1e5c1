// FNV-1a, the 64-bit string hash of the lookup tables that hold names: short keys, hashed
// a byte at a time, where a stronger hash would cost more than its collisions.
#pragma once

#include <cstdint>
#include <string_view>

namespace ostrel::fnv1a {

inline constexpr std::uint64_t kOffset = 14695981039346656037ull;

// The hash `h` of some bytes extended by one byte `c`.
constexpr std::uint64_t step(std::uint64_t h, char c) { return (h ^ static_cast<unsigned char>(c)) * 1099511628211ull; }

constexpr std::uint64_t hash(std::string_view text) {
  std::uint64_t h = kOffset;
  for (const char c : text) h = step(h, c);
  return h;
}

}  // namespace ostrel::fnv1a

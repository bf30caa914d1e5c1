// What every harness does when a property fails: print what failed and on which input,
// then abort, which libFuzzer reports as a crash and saves the input for.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace ostrel::fuzz {

[[noreturn]] inline void fail(std::string_view what, std::string_view input, std::string_view detail = {}) {
  std::fprintf(stderr, "\nproperty failed: %.*s\n  input (%zu bytes): \"", static_cast<int>(what.size()), what.data(),
               input.size());
  for (const char c : input) {
    const auto b = static_cast<unsigned char>(c);
    if (b == '"' || b == '\\') {
      std::fprintf(stderr, "\\%c", c);
    } else if (b >= 0x20 && b < 0x7f) {
      std::fputc(c, stderr);
    } else {
      std::fprintf(stderr, "\\x%02x", b);
    }
  }
  std::fprintf(stderr, "\"\n");
  if (!detail.empty()) std::fprintf(stderr, "  %.*s\n", static_cast<int>(detail.size()), detail.data());
  std::abort();
}

inline void require(bool holds, std::string_view what, std::string_view input, std::string_view detail = {}) {
  if (!holds) fail(what, input, detail);
}

}  // namespace ostrel::fuzz

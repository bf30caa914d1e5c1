// The one error type of parsing: the grammar's syntax error, or a message with the span of
// the parse-tree node it concerns. Held on the heap so that results stay small.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace ostrel::parser {

// Where matching got furthest, and a bit per `Rule` that was expected there.
struct SyntaxError {
  std::size_t position = 0;
  std::uint64_t expected = 0;
};

struct CustomError {
  std::string message;
  std::size_t start = 0;
  std::size_t end = 0;
};

class FormulaError {
 public:
  static FormulaError from(SyntaxError error) { return FormulaError(Payload{error, {}, true}); }
  static FormulaError custom(std::string message, std::size_t start, std::size_t end) {
    return FormulaError(Payload{{}, CustomError{std::move(message), start, end}, false});
  }

  bool is_syntax() const { return payload_->is_syntax; }
  const SyntaxError& syntax() const { return payload_->syntax; }
  const CustomError& custom() const { return payload_->custom; }
  // The custom message, or an empty text for a syntax error.
  const std::string& message() const { return payload_->custom.message; }

 private:
  struct Payload {
    SyntaxError syntax;
    CustomError custom;
    bool is_syntax;
  };
  explicit FormulaError(Payload payload) : payload_(std::make_unique<Payload>(std::move(payload))) {}
  std::unique_ptr<Payload> payload_;
};

}  // namespace ostrel::parser

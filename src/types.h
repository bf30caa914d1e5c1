// Results of evaluation, the four error kinds, and the node tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "anydim.h"

namespace ostrel {

enum class EvalError : std::uint8_t { Error, Ref, Many, Value };

// "ERROR!", "REF!", "MANY!" or "VALUE!": the one table of the error texts, which the export
// and renaming write too.
constexpr std::string_view error_text(EvalError error) {
  constexpr std::string_view kTexts[] = {"ERROR!", "REF!", "MANY!", "VALUE!"};
  return kTexts[static_cast<std::size_t>(error)];
}

// The value of one formula in one dimension.
class EvalResult {
 public:
  static EvalResult number(double x) { return EvalResult(Number{x}); }
  static EvalResult empty() { return EvalResult(Empty{}); }
  static EvalResult error(EvalError kind) { return EvalResult(Error{kind}); }

  bool is_number() const { return std::holds_alternative<Number>(v_); }
  bool is_empty() const { return std::holds_alternative<Empty>(v_); }
  bool is_error() const { return std::holds_alternative<Error>(v_); }
  double number_value() const;
  EvalError error_kind() const;

  // The display form: a formatted number, "" for Empty, or the error's text.
  std::string to_string() const;
  // The form in which another node's value enters a formula: any error becomes Ref.
  EvalResult as_own() const { return is_error() ? error(EvalError::Ref) : *this; }

  // Same variant; numbers equal as doubles (NaN never, 0 == -0); errors of the same kind.
  friend bool operator==(const EvalResult& a, const EvalResult& b);

 private:
  struct Number {
    double value;
  };
  struct Empty {};
  struct Error {
    EvalError kind;
  };
  explicit EvalResult(std::variant<Number, Empty, Error> v) : v_(v) {}
  std::variant<Number, Empty, Error> v_;
};

// The engine's model of one host node: a plain owned hierarchy. Trees may be as deep as
// the host allows, so destruction takes subtrees apart without recursing; nodes move but
// are not copied.
struct Node {
  std::string id;
  std::string name;
  AnyDim<std::string> formula = AnyDim<std::string>::single("");
  AnyDim<EvalResult> value = AnyDim<EvalResult>::single(EvalResult::empty());
  bool is_hidden = false;
  AnyDim<std::string> cells = AnyDim<std::string>::multi({});
  std::vector<Node> children;

  Node() = default;
  Node(Node&&) noexcept = default;
  Node& operator=(Node&&) noexcept = default;
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  ~Node();
};

// Calls `visit` on every node of the subtree in depth-first pre-order, without recursing.
template <class NodeT, class Visit>
void for_each_pre_order(NodeT& root, Visit&& visit) {
  std::vector<NodeT*> pending{&root};
  while (!pending.empty()) {
    NodeT* node = pending.back();
    pending.pop_back();
    visit(*node);
    for (auto child = node->children.rbegin(); child != node->children.rend(); ++child) pending.push_back(&*child);
  }
}

}  // namespace ostrel

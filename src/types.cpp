#include "types.h"

#include "support/invariant.h"
#include "text/number_text.h"

namespace ostrel {

double EvalResult::number_value() const {
  if (!is_number()) invariant_failure("EvalResult is not a number");
  return std::get<Number>(v_).value;
}

EvalError EvalResult::error_kind() const {
  if (!is_error()) invariant_failure("EvalResult is not an error");
  return std::get<Error>(v_).kind;
}

std::string EvalResult::to_string() const {
  if (is_number()) return format_number(number_value());
  if (is_error()) return std::string(error_text(error_kind()));
  return "";
}

bool operator==(const EvalResult& a, const EvalResult& b) {
  if (a.v_.index() != b.v_.index()) return false;
  if (a.is_number()) return a.number_value() == b.number_value();
  if (a.is_error()) return a.error_kind() == b.error_kind();
  return true;
}

Node::~Node() {
  // Children's children are moved into a flat list before each child is destroyed, so no
  // destructor runs with grandchildren left to destroy.
  std::vector<Node> doomed;
  for (Node& child : children) doomed.push_back(std::move(child));
  children.clear();
  while (!doomed.empty()) {
    Node last = std::move(doomed.back());
    doomed.pop_back();
    for (Node& child : last.children) doomed.push_back(std::move(child));
    last.children.clear();
  }
}

}  // namespace ostrel

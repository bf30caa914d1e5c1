// Random tangles for tree evaluation, shared by the core test and the trees fuzzing harness.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "node_builders.h"
#include "types.h"

namespace ostrel::testing {

// A few nodes whose single formulas read formula lists that read them back and their own
// later dimensions, so that single formulas turn per-dimension while under way; iferror
// carries a cycle's "REF!" into values that differ by dimension. Names are sometimes shared.
template <class Below>
Node random_tangle(Below&& below) {
  const std::size_t count = 3 + below(4);
  const std::size_t length = 2 + below(4);  // of the formula lists
  struct Plan {
    std::string name;
    bool list;
  };
  std::vector<Plan> plans;
  std::vector<std::string> singles, lists;
  for (std::size_t i = 0; i < count; ++i) {
    const bool list = below(2) == 0;
    std::string name(1, static_cast<char>('a' + (below(4) == 0 ? below(count) : i)));
    (list ? lists : singles).push_back(name);
    plans.push_back({name, list});
  }
  // A name to read: mostly one of the other kind.
  auto name = [&](bool from_list) {
    const std::vector<std::string>& other = from_list ? singles : lists;
    const std::vector<std::string>& same = from_list ? lists : singles;
    if (!other.empty() && (same.empty() || below(4) != 0)) return other[below(other.size())];
    return same[below(same.size())];
  };
  auto later = [&] { return std::to_string(1 + below(length - 1)); };
  auto term = [&](bool list) -> std::string {
    switch (below(list ? 16 : 12)) {
      case 0:
      case 1:
        return "@" + name(list);
      case 2:
      case 3:
      case 4:
      case 5:
      case 6:
        return "iferror(@" + name(list) + "; " + std::to_string(below(2)) + ")";
      case 7:
        return std::to_string(below(3));
      case 8:
        return below(2) == 0 ? "total(@" + name(list) + ")" : "iferror(ratio(@" + name(list) + "); 0)";
      case 9:
        return below(2) == 0 ? "sum(children)" : "children[" + std::to_string(1 + below(2)) + "]";
      case 10:
        return "@" + name(list) + "[" + std::to_string(1 + below(2)) + "]";
      case 11:
        return "if(@" + name(list) + " > 2; @" + name(list) + "; 1)";
      case 12:
        return below(2) == 0 ? "sum(right)" : "iferror(right[" + later() + "]; 1)";
      default:
        return "right[" + later() + "]";
    }
  };
  auto formula = [&](bool list) -> std::string {
    if (below(5) == 0) return std::to_string(below(3));
    std::string f = "=" + term(list);
    for (std::size_t n = below(3); n > 0; --n) f += (below(3) == 0 ? " - " : " + ") + term(list);
    return f;
  };
  auto random_node = [&](const Plan& plan) {
    if (!plan.list) return node(plan.name, formula(false));
    // As in a plan, a list repeats a few texts from one dimension to the next, mostly in
    // turn (a pattern of periods).
    std::vector<std::string> texts(1 + below(3));
    for (std::string& f : texts) f = formula(true);
    std::vector<std::string> formulas(below(6) == 0 ? length - 1 : length);
    const bool in_turn = below(4) != 0;
    for (std::size_t d = 0; d < formulas.size(); ++d)
      formulas[d] = texts[in_turn ? d % texts.size() : below(texts.size())];
    // The last dimension often ends what the others carry forward.
    if (below(2) == 0) formulas.back() = below(2) == 0 ? "=@" + name(true) : std::to_string(below(3));
    return multi(plan.name, std::move(formulas));
  };
  std::vector<Node*> all;
  Node root = random_node(plans[0]);
  all.push_back(&root);
  for (std::size_t i = 1; i < count; ++i) {
    Node* parent = all[below(all.size())];
    Node child = random_node(plans[i]);
    child.is_hidden = below(10) == 0;
    parent->children.push_back(std::move(child));
    // Pointers into `children` move when it grows: collect them again.
    all.clear();
    for_each_pre_order(root, [&](Node& n) { all.push_back(&n); });
  }
  return root;
}

}  // namespace ostrel::testing

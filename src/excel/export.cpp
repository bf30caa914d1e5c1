#include "excel/export.h"

#include <string>
#include <vector>

#include "excel/cell_content.h"

namespace ostrel::excel {

namespace {

// How many cells a node has: the list's length, or 1 for a non-empty single address.
std::size_t cell_count(const AnyDim<std::string>& cells) {
  if (cells.is_single()) return cells.single_value().empty() ? 0 : 1;
  return cells.multi_values().size();
}

}  // namespace

bool convert_tree(Node& node, const TreeIndex& names, const CellSnapshot& snapshot, Interrupt* interrupt) {
  InterruptPoll poll(interrupt);
  for_each_pre_order(node, [&](Node& n) {
    const std::size_t count = cell_count(n.cells);
    if (count == 0 || poll.stop()) return;
    // A formula text is read once for the run of cells it serves: a single formula for
    // all of them, a list's text for as long as the next entries repeat it.
    const std::string* text = nullptr;
    PreparedFormula prepared;
    std::vector<std::string> contents;
    contents.reserve(count);
    for (std::size_t d = 0; d < count; ++d) {
      const std::string* next = nullptr;
      if (n.formula.is_single()) {
        next = &n.formula.single_value();
      } else if (d < n.formula.multi_values().size()) {
        next = &n.formula.multi_values()[d];
      }
      if (next == nullptr) {
        contents.emplace_back();
        continue;
      }
      if (text == nullptr || *next != *text) prepared = prepare_formula(*next);
      text = next;
      contents.push_back(cell_content(prepared, ConvertContext{n, snapshot, d, names}));
    }
    if (n.cells.is_single()) {
      n.cells = AnyDim<std::string>::single(std::move(contents.front()));
    } else {
      n.cells = AnyDim<std::string>::multi(std::move(contents));
    }
  });
  return !poll.stopped();
}

bool export_tree_to_excel(Node& root, Interrupt* interrupt) {
  const TreeIndex names(root);
  CellSnapshot snapshot;
  snapshot.reserve(names.size());
  collect_cells_snapshot(root, snapshot);
  return convert_tree(root, names, snapshot, interrupt);
}

}  // namespace ostrel::excel

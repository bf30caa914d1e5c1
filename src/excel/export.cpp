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

void convert_tree(Node& node, const TreeIndex& names, const CellSnapshot& snapshot) {
  for_each_pre_order(node, [&](Node& n) {
    const std::size_t count = cell_count(n.cells);
    if (count == 0) return;
    // A single formula is read once for all its cells.
    std::optional<PreparedFormula> single;
    if (n.formula.is_single()) single = prepare_formula(n.formula.single_value());
    std::vector<std::string> contents;
    contents.reserve(count);
    for (std::size_t d = 0; d < count; ++d) {
      const ConvertContext context{n, snapshot, d, names};
      if (single) {
        contents.push_back(cell_content(*single, context));
        continue;
      }
      const std::vector<std::string>& texts = n.formula.multi_values();
      contents.push_back(d < texts.size() ? cell_content(prepare_formula(texts[d]), context) : std::string());
    }
    if (n.cells.is_single()) {
      n.cells = AnyDim<std::string>::single(std::move(contents.front()));
    } else {
      n.cells = AnyDim<std::string>::multi(std::move(contents));
    }
  });
}

void export_tree_to_excel(Node& root) {
  const TreeIndex names(root);
  CellSnapshot snapshot;
  snapshot.reserve(names.size());
  collect_cells_snapshot(root, snapshot);
  convert_tree(root, names, snapshot);
}

}  // namespace ostrel::excel

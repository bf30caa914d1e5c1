#include "excel/cell_snapshot.h"

namespace ostrel::excel {

void collect_cells_snapshot(const Node& node, CellSnapshot& snapshot) {
  for_each_pre_order(node, [&](const Node& n) { snapshot.insert_or_assign(NodeKey{&n}, n.cells); });
}

Result<std::string_view, ConvertError> cell_at(const Node& node, std::size_t dimension, const CellSnapshot& snapshot) {
  const auto entry = snapshot.find(NodeKey{&node});
  if (entry == snapshot.end()) return fail(ConvertError::Ref);
  const AnyDim<std::string>& cells = entry->second;
  if (cells.is_single()) {
    if (cells.single_value().empty()) return fail(ConvertError::Ref);
    return std::string_view(cells.single_value());
  }
  const std::vector<std::string>& list = cells.multi_values();
  if (dimension >= list.size() || list[dimension].empty()) return fail(ConvertError::Ref);
  return std::string_view(list[dimension]);
}

}  // namespace ostrel::excel

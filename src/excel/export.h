// The spreadsheet export: every node's cell addresses replaced by the contents of those
// cells, one per address. A node's addresses are one for all dimensions (`Single`) or one
// per dimension (`Multi`); the contents keep that shape. Nothing here fails: what cannot be
// written becomes an error text in the cell.
#pragma once

#include "excel/cell_snapshot.h"
#include "tree_index.h"
#include "types.h"

namespace ostrel::excel {

// Replaces the `cells` of `node` and every node below it. Names are looked up in `names`,
// the index of the whole tree; addresses are read from `snapshot` only. A node without
// cells keeps them.
void convert_tree(Node& node, const TreeIndex& names, const CellSnapshot& snapshot);

// The whole export of a tree: snapshot, then conversion from the root.
void export_tree_to_excel(Node& root);

}  // namespace ostrel::excel

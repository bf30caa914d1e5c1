// The spreadsheet export: every node's cell addresses replaced by the contents of those
// cells, one per address. A node's addresses are one for all dimensions (`Single`) or one
// per dimension (`Multi`); the contents keep that shape. Nothing here fails: what cannot be
// written becomes an error text in the cell.
#pragma once

#include "excel/cell_snapshot.h"
#include "nodes/tree_index.h"
#include "support/interrupt.h"
#include "types.h"

namespace ostrel::excel {

// Replaces the `cells` of `node` and every node below it. Names are looked up in `names`,
// the index of the whole tree; addresses are read from `snapshot` only. A node without
// cells keeps them. False when the interrupt stopped it, some nodes converted and some not.
bool convert_tree(Node& node, const TreeIndex& names, const CellSnapshot& snapshot, Interrupt* interrupt = nullptr);

// The whole export of a tree: snapshot, then conversion from the root; false when stopped.
bool export_tree_to_excel(Node& root, Interrupt* interrupt = nullptr);

}  // namespace ostrel::excel

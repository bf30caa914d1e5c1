// The node protocol: host objects to `Node` trees and one field back. Host trees are read
// and written without recursion, and a tree nested deeper than the interpreter's recursion
// limit (a tree that contains itself is one) raises RecursionError instead.
#pragma once

#include <optional>
#include <string_view>

#include "python/python.h"
#include "python/ref.h"
#include "types.h"

namespace ostrel::python {

enum class NodeField { Value, Formula, Cells };

// What reading keeps of the formula and cells texts: all of them, or none, for a caller that
// needs only the tree's names, ids and shape; their attributes are read and checked alike.
enum class Texts { Kept, CheckedOnly };

// A new `Node` tree, or nullopt with the exception set. An exception about a node gets a note
// that names it by its path from `root_name`, the argument that held the tree. A signal
// whose handler raises (Ctrl-C) stops the reading.
std::optional<Node> protocol_to_node(PyObject* object, std::string_view root_name = "root", Texts texts = Texts::Kept);

// Writes `field` of `node` and its descendants onto `object` and its descendants, in
// pre-order, matching children by position. False with the exception set on failure, noted
// and stopped as in reading.
bool update_node_field(PyObject* object, NodeField field, const Node& node, std::string_view root_name = "root");

// copy.deepcopy(object), or empty with the exception set.
Ref clone_python_object(PyObject* object);

}  // namespace ostrel::python

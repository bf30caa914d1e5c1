#include "python/tree_functions.h"

#include <optional>

#include "eval/tree.h"
#include "excel/export.h"
#include "python/arguments.h"
#include "python/boundary.h"
#include "python/node_protocol.h"

namespace ostrel::python {

namespace {

// Writes `field` of `tree` back: onto `root` itself, or onto a deep copy made after the
// engine's work, which is returned instead. A new reference, or nullptr with the exception.
PyObject* write_back(PyObject* root, bool in_place, NodeField field, const Node& tree) {
  PyObject* target = in_place ? (Py_INCREF(root), root) : clone_python_object(root);
  if (target == nullptr) return nullptr;
  if (!update_node_field(target, field, tree)) Py_CLEAR(target);
  return target;
}

}  // namespace

PyObject* py_evaluate_tree(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kParameters[] = {"root", "in_place"};
    const Signature signature{"evaluate_tree", kParameters, 2, 1};
    PyObject* bound[2];
    if (!bind_arguments(signature, args, nargs, kwnames, bound)) return nullptr;
    const std::optional<bool> in_place = bool_argument(signature, 1, bound[1], false);
    if (!in_place) return nullptr;
    std::optional<Node> tree = protocol_to_node(bound[0]);
    if (!tree) return nullptr;
    eval::evaluate_tree(*tree);
    return write_back(bound[0], *in_place, NodeField::Value, *tree);
  });
}

PyObject* py_export_tree_to_excel(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kParameters[] = {"root", "in_place"};
    const Signature signature{"export_tree_to_excel", kParameters, 2, 1};
    PyObject* bound[2];
    if (!bind_arguments(signature, args, nargs, kwnames, bound)) return nullptr;
    const std::optional<bool> in_place = bool_argument(signature, 1, bound[1], false);
    if (!in_place) return nullptr;
    std::optional<Node> tree = protocol_to_node(bound[0]);
    if (!tree) return nullptr;
    excel::export_tree_to_excel(*tree);
    return write_back(bound[0], *in_place, NodeField::Cells, *tree);
  });
}

}  // namespace ostrel::python

#include "python/tree_functions.h"

#include <optional>

#include "eval/tree.h"
#include "excel/export.h"
#include "nodes/node_json.h"
#include "python/arguments.h"
#include "python/boundary.h"
#include "python/node_protocol.h"
#include "python/ref.h"
#include "python/signals.h"
#include "tree/expand.h"
#include "tree/explain.h"
#include "tree/rename.h"

namespace ostrel::python {

namespace {

// Writes `field` of `tree` back: onto `root` itself, or onto a deep copy made after the
// engine's work, which is returned instead. Empty with the exception set on failure.
Ref write_back(PyObject* root, bool in_place, NodeField field, const Node& tree, std::string_view root_name = "root") {
  Ref target = in_place ? Ref(Py_NewRef(root)) : clone_python_object(root);
  if (!target || !update_node_field(target.get(), field, tree, root_name)) return nullptr;
  return target;
}

// The functions of (root, in_place) that rewrite one field of every node: read the host
// tree, let `work` change the field (it gives false when a signal stopped it), write it
// back under the in-place rule.
template <class Work>
Ref rewrite_field(const Signature<2>& signature, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                  NodeField field, Work work) {
  const auto bound = bind_arguments(signature, args, nargs, kwnames);
  if (!bound) return nullptr;
  const std::optional<bool> in_place = bool_argument<1>(signature, *bound, false);
  if (!in_place) return nullptr;
  std::optional<Node> tree = protocol_to_node((*bound)[0]);
  if (!tree || !work(*tree)) return nullptr;
  return write_back((*bound)[0], *in_place, field, *tree);
}

// Raises the error of an expansion that gave no formulas: a stopped one has the signal
// handler's exception pending already.
Ref expansion_failed(tree::ExpansionFailure failure) {
  if (failure == tree::ExpansionFailure::TooLarge) {
    PyErr_SetString(PyExc_MemoryError, tree::kExpandedTreeTooLarge.data());
  }
  return nullptr;
}

}  // namespace

PyObject* py_evaluate_tree(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> Ref {
    static constexpr Signature<2> kSignature{"evaluate_tree", {"root", "in_place"}, 1};
    return rewrite_field(kSignature, args, nargs, kwnames, NodeField::Value, [](Node& tree) {
      SignalInterrupt signals;
      return eval::evaluate_tree(tree, &signals);
    });
  });
}

PyObject* py_rename_nodes(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> Ref {
    static constexpr Signature<3> kSignature{"rename_nodes", {"old_root", "new_root", "in_place"}, 2};
    const auto bound = bind_arguments(kSignature, args, nargs, kwnames);
    if (!bound) return nullptr;
    const std::optional<bool> in_place = bool_argument<2>(kSignature, *bound, false);
    if (!in_place) return nullptr;
    // The old tree first, so that its conversion error is the one raised. Renaming reads
    // only its names, ids and shape.
    std::optional<Node> old_tree = protocol_to_node((*bound)[0], "old_root", Texts::CheckedOnly);
    if (!old_tree) return nullptr;
    std::optional<Node> new_tree = protocol_to_node((*bound)[1], "new_root");
    if (!new_tree) return nullptr;
    SignalInterrupt signals;
    if (!tree::rename_references(*old_tree, *new_tree, &signals)) return nullptr;
    old_tree.reset();  // not needed for writing back
    return write_back((*bound)[1], *in_place, NodeField::Formula, *new_tree, "new_root");
  });
}

PyObject* py_expand_tree_formulas(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> Ref {
    static constexpr Signature<1> kSignature{"expand_tree_formulas", {"root"}, 1};
    const auto bound = bind_arguments(kSignature, args, nargs, kwnames);
    if (!bound) return nullptr;
    PyObject* root = (*bound)[0];
    std::optional<Node> tree = protocol_to_node(root);
    if (!tree) return nullptr;
    SignalInterrupt signals;
    if (const auto expanded = tree::expand_tree_formulas(*tree, &signals); !expanded) {
      return expansion_failed(expanded.error());
    }
    return write_back(root, false, NodeField::Formula, *tree);
  });
}

PyObject* py_explain_node(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> Ref {
    static constexpr Signature<2> kSignature{"explain_node", {"root", "node_id"}, 2};
    const auto bound = bind_arguments(kSignature, args, nargs, kwnames);
    if (!bound) return nullptr;
    const std::optional<std::string_view> node_id = text_argument<1>(kSignature, *bound);
    if (!node_id) return nullptr;
    const std::optional<Node> tree = protocol_to_node((*bound)[0]);
    if (!tree) return nullptr;
    SignalInterrupt signals;
    const auto explanation = tree::explain_node(*tree, *node_id, &signals);
    if (!explanation) return expansion_failed(explanation.error());
    if (!explanation.value()) return Ref(Py_NewRef(Py_None));
    std::string json;
    write_json(*explanation.value(), json);
    // The host's own JSON reader makes the dictionaries.
    const Ref module(PyImport_ImportModule("json"));
    if (!module) return nullptr;
    const Ref loads(PyObject_GetAttrString(module.get(), "loads"));
    if (!loads) return nullptr;
    const Ref text(text_object(json));
    if (!text) return nullptr;
    return Ref(PyObject_CallOneArg(loads.get(), text.get()));
  });
}

PyObject* py_export_tree_to_excel(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> Ref {
    static constexpr Signature<2> kSignature{"export_tree_to_excel", {"root", "in_place"}, 1};
    return rewrite_field(kSignature, args, nargs, kwnames, NodeField::Cells, [](Node& tree) {
      SignalInterrupt signals;
      return excel::export_tree_to_excel(tree, &signals);
    });
  });
}

}  // namespace ostrel::python

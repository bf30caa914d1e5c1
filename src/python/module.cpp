// Module set-up: multi-phase initialisation whose execution step adds the functions in
// table order, keeping `__all__` in that order, and the version. The module has no state.
#include "python/formula_functions.h"
#include "python/python.h"
#include "python/ref.h"
#include "python/tree_functions.h"

namespace ostrel::python {

namespace {

// A table entry of a function called with the vector protocol and keyword names. CPython
// keeps every C function as a PyCFunction and calls it by its flags, hence the cast.
PyMethodDef fast_method(const char* name, PyObject* (*function)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*),
                        const char* doc) {
  return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function)), METH_FASTCALL | METH_KEYWORDS,
          doc};
}

// Functions keep pointers into this table for their whole life, so it is static; it is
// never written after it is made, when the module is loaded.
PyMethodDef kFunctions[] = {
    fast_method("evaluate", py_evaluate, "evaluate(formula)\n--\n\n"),
    fast_method("evaluate_boolean", py_evaluate_boolean, "evaluate_boolean(formula)\n--\n\n"),
    fast_method("evaluate_tree", py_evaluate_tree, "evaluate_tree(root, in_place=False)\n--\n\n"),
    fast_method("get_tokens", py_get_tokens, "get_tokens(formula)\n--\n\n"),
    fast_method("rename_nodes", py_rename_nodes, "rename_nodes(old_root, new_root, in_place=False)\n--\n\n"),
    fast_method("expand_tree_formulas", py_expand_tree_formulas, "expand_tree_formulas(root)\n--\n\n"),
    fast_method("explain_node", py_explain_node, "explain_node(root, node_id)\n--\n\n"),
    fast_method("export_tree_to_excel", py_export_tree_to_excel, "export_tree_to_excel(root, in_place=False)\n--\n\n"),
};

// Appends `name` to the module's `__all__`, creating the list when there is none.
int append_to_all(PyObject* module, PyObject* name) {
  Ref all(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
    PyErr_Clear();
    all = Ref(PyList_New(0));
    if (!all || PyModule_AddObjectRef(module, "__all__", all.get()) < 0) return -1;
  }
  if (!PyList_Check(all.get())) {
    PyErr_SetString(PyExc_TypeError, "__all__ must be a list");
    return -1;
  }
  return PyList_Append(all.get(), name);
}

int add_function(PyObject* module, PyObject* module_name, PyMethodDef* definition) {
  const Ref function(PyCFunction_NewEx(definition, module, module_name));
  if (!function) return -1;
  const Ref name(PyObject_GetAttrString(function.get(), "__name__"));
  if (!name || PyObject_SetAttr(module, name.get(), function.get()) < 0) return -1;
  return append_to_all(module, name.get());
}

int exec_module(PyObject* module) {
  if (!PyModule_Check(module)) {
    PyErr_Format(PyExc_TypeError, "'%s' object cannot be converted to 'module'", Py_TYPE(module)->tp_name);
    return -1;
  }
  const Ref module_name(PyModule_GetNameObject(module));
  if (!module_name) return -1;
  for (PyMethodDef& definition : kFunctions) {
    if (add_function(module, module_name.get(), &definition) < 0) return -1;
  }
  // The package's version, as its metadata gives it (the build takes it from there).
  return PyModule_AddStringConstant(module, "__version__", OSTREL_VERSION);
}

PyModuleDef_Slot kSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
#ifdef Py_mod_gil
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT, "ostrel_formulas", "", 0, nullptr, kSlots, nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace ostrel::python

PyMODINIT_FUNC PyInit_ostrel_formulas() { return PyModuleDef_Init(&ostrel::python::kModule); }

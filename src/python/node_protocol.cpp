#include "python/node_protocol.h"

#include <string>
#include <string_view>
#include <vector>

#include "python/arguments.h"
#include "python/boundary.h"
#include "python/ref.h"
#include "python/signals.h"

namespace ostrel::python {

namespace {

constexpr const char* kMissingName =
    "Missing required attribute 'name'. Expected a Protocol-compatible object with name, formula, value, "
    "is_hidden, and children attributes";
constexpr const char* kMissingChildren =
    "Missing required attribute 'children'. Expected a Protocol-compatible object with name, formula, value, "
    "is_hidden, and children attributes";
constexpr const char* kNameType = "Attribute 'name' must be a string";
constexpr const char* kChildrenNotList = "Attribute 'children' must be a list";
constexpr const char* kFormulaType = "Attribute 'formula' must be a string or list of strings";

// The protocol's silent fallbacks are for ordinary lookup failures. Clears the pending
// exception and gives true when it is one; an interrupt (KeyboardInterrupt, SystemExit and
// every other exception outside Exception, the engine's own fault included) and MemoryError
// stay pending for the caller to raise.
bool clear_ordinary_error() {
  if (!PyErr_ExceptionMatches(PyExc_Exception) || PyErr_ExceptionMatches(PyExc_MemoryError)) return false;
  PyErr_Clear();
  return true;
}

// Element i of a list as a new reference, so that host code run meanwhile cannot drop it.
Ref list_item(PyObject* list, Py_ssize_t i) {
#if PY_VERSION_HEX >= 0x030D0000
  return Ref(PyList_GetItemRef(list, i));
#else
  return Ref(Py_NewRef(PyList_GET_ITEM(list, i)));
#endif
}

// The UTF-8 bytes of a str, valid while it lives; nullopt for anything else, with
// UnicodeEncodeError pending for a str holding lone surrogates.
std::optional<std::string_view> utf8_of(PyObject* value) {
  if (!PyUnicode_Check(value)) return std::nullopt;
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(value, &size);
  if (data == nullptr) return std::nullopt;
  return std::string_view(data, static_cast<std::size_t>(size));
}

std::optional<std::string> text_of(PyObject* value) {
  const std::optional<std::string_view> text = utf8_of(value);
  if (!text) return std::nullopt;
  return std::string(*text);
}

// A str, or a sequence of str (not a str itself); nullopt otherwise, with an exception
// pending when one was raised (a str holding lone surrogates among them). Without `keep`,
// the same is read and checked, but the texts are left out: one empty text is given.
std::optional<AnyDim<std::string>> texts_of(PyObject* value, bool keep) {
  if (std::optional<std::string_view> text = utf8_of(value)) {
    return AnyDim<std::string>::single(keep ? std::string(*text) : std::string());
  }
  if (PyErr_Occurred() || PyUnicode_Check(value) || !PySequence_Check(value)) return std::nullopt;
  std::vector<std::string> texts;
  const auto add = [&](PyObject* item) {
    const std::optional<std::string_view> text = utf8_of(item);
    if (text && keep) texts.emplace_back(*text);
    return text.has_value();
  };
  if (PyList_CheckExact(value)) {
    // A plain list, read by position as its iterator would (the length is read again at
    // every step): no iterator object, and the texts reserved at once.
    if (keep) texts.reserve(static_cast<std::size_t>(PyList_GET_SIZE(value)));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(value); ++i) {
      const Ref item = list_item(value, i);
      if (!item || !add(item.get())) return std::nullopt;
    }
    return keep ? AnyDim<std::string>::multi(std::move(texts)) : AnyDim<std::string>::single("");
  }
  Ref iterator(PyObject_GetIter(value));
  if (!iterator) {
    clear_ordinary_error();
    return std::nullopt;
  }
  while (Ref item{PyIter_Next(iterator.get())}) {
    if (!add(item.get())) return std::nullopt;
  }
  if (PyErr_Occurred()) {
    clear_ordinary_error();
    return std::nullopt;
  }
  return keep ? AnyDim<std::string>::multi(std::move(texts)) : AnyDim<std::string>::single("");
}

// The protocol's attribute names, interned once per call: lookups by interned objects skip
// making and hashing a str for every attribute of every node.
struct AttributeNames {
  Ref id{PyUnicode_InternFromString("id")};
  Ref name{PyUnicode_InternFromString("name")};
  Ref formula{PyUnicode_InternFromString("formula")};
  Ref value{PyUnicode_InternFromString("value")};
  Ref is_hidden{PyUnicode_InternFromString("is_hidden")};
  Ref cells{PyUnicode_InternFromString("cells")};
  Ref children{PyUnicode_InternFromString("children")};

  // False with the exception set when one could not be made.
  bool ok() const { return id && name && formula && value && is_hidden && cells && children; }
};

// Reads one object's own attributes into `node`, in protocol order, and gives its children
// list, or nothing with the exception set; `name_read` tells whether the node's name could
// be read.
Ref read_attributes(const AttributeNames& names, PyObject* object, Node& node, bool& name_read, bool keep_texts) {
  if (Ref id{PyObject_GetAttr(object, names.id.get())}) {
    node.id = text_of(id.get()).value_or("");
  }
  if (PyErr_Occurred() && !clear_ordinary_error()) return nullptr;

  Ref name(PyObject_GetAttr(object, names.name.get()));
  if (!name) return nullptr;
  std::optional<std::string> name_text = text_of(name.get());
  if (!name_text) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_TypeError, kNameType);
    return nullptr;
  }
  node.name = std::move(*name_text);
  name_read = true;

  Ref formula(PyObject_GetAttr(object, names.formula.get()));
  if (!formula) return nullptr;
  std::optional<AnyDim<std::string>> formulas = texts_of(formula.get(), keep_texts);
  if (!formulas) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_TypeError, kFormulaType);
    return nullptr;
  }
  node.value =
      formulas->is_single()
          ? AnyDim<EvalResult>::single(EvalResult::empty())
          : AnyDim<EvalResult>::multi(std::vector<EvalResult>(formulas->multi_values().size(), EvalResult::empty()));
  node.formula = std::move(*formulas);

  if (Ref hidden{PyObject_GetAttr(object, names.is_hidden.get())}) {
    if (is_boolean(hidden.get())) {
      const int truth = PyObject_IsTrue(hidden.get());
      if (truth < 0) clear_ordinary_error();
      node.is_hidden = truth == 1;
    }
  } else {
    clear_ordinary_error();
  }
  if (PyErr_Occurred()) return nullptr;

  if (Ref cells{PyObject_GetAttr(object, names.cells.get())}) {
    node.cells = texts_of(cells.get(), keep_texts).value_or(AnyDim<std::string>::multi({}));
  }
  if (PyErr_Occurred() && !clear_ordinary_error()) return nullptr;

  Ref children(PyObject_GetAttr(object, names.children.get()));
  if (!children) {
    if (clear_ordinary_error()) PyErr_SetString(PyExc_TypeError, kMissingChildren);
    return nullptr;
  }
  if (!PyList_Check(children.get())) {
    PyErr_SetString(PyExc_TypeError, kChildrenNotList);
    return nullptr;
  }
  return children;
}

bool too_deep(std::size_t depth) {
  if (depth <= static_cast<std::size_t>(Py_GetRecursionLimit())) return false;
  PyErr_Format(PyExc_RecursionError, "node tree nested deeper than the recursion limit (%d); does it contain itself?",
               Py_GetRecursionLimit());
  return true;
}

// Where a node stands, for the note on an error about it: "root.children[1].children[0]",
// from the name of the argument that held the tree. Deep paths keep their two ends.
std::string path_text(std::string_view root, const std::vector<std::size_t>& positions) {
  constexpr std::size_t kEnds = 6;
  std::string text(root);
  for (std::size_t i = 0; i < positions.size(); ++i) {
    if (positions.size() > 2 * kEnds && i == kEnds) {
      text += "...(" + std::to_string(positions.size() - 2 * kEnds) + " more levels)...";
      i = positions.size() - kEnds;
    }
    text += ".children[" + std::to_string(positions[i]) + "]";
  }
  return text;
}

// Adds "<doing> the node <path>, named '<name>'" to the pending exception as a note (on
// Python 3.10, which shows no notes, it is still there in `__notes__`). A MemoryError is left
// as it is, and so is the exception when the note itself cannot be made or added.
void note_node(std::string_view doing, std::string_view root, const std::vector<std::size_t>& positions,
               const std::string* name) {
  if (PyErr_ExceptionMatches(PyExc_MemoryError)) return;
  // The exception is taken out while the note is made: the C API may not be called with one
  // pending (a call may run the collector, which would report it as unraisable and drop it).
  PyObject *type = nullptr, *error = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &error, &traceback);
  PyErr_NormalizeException(&type, &error, &traceback);
  if (traceback != nullptr && error != nullptr) PyException_SetTraceback(error, traceback);
  std::string text = std::string(doing) + " the node " + path_text(root, positions);
  bool made = true;
  if (name != nullptr) {
    const Ref quoted(text_object(*name));
    const Ref shown(quoted ? PyObject_Repr(quoted.get()) : nullptr);
    const char* utf8 = shown ? PyUnicode_AsUTF8(shown.get()) : nullptr;
    made = utf8 != nullptr;
    if (made) {
      text += ", named ";
      text += utf8;
    }
  }
  const Ref note(made ? text_object(text) : nullptr);
  bool added = false;
  if (note && error != nullptr) {
#if PY_VERSION_HEX >= 0x030B0000
    added = Ref(PyObject_CallMethod(error, "add_note", "O", note.get())).get() != nullptr;
#else
    Ref notes(PyObject_GetAttrString(error, "__notes__"));
    if (!notes) {
      PyErr_Clear();
      notes = Ref(PyList_New(0));
    }
    added = notes && PyList_Check(notes.get()) && PyList_Append(notes.get(), note.get()) == 0 &&
            PyObject_SetAttrString(error, "__notes__", notes.get()) == 0;
#endif
  }
  if (!added) PyErr_Clear();
  PyErr_Restore(type, error, traceback);
}

// A children list being walked: the node it belongs to and the next position.
struct Level {
  Ref list;
  Node* node;
  Py_ssize_t next;
  Py_ssize_t length;  // at the start of the walk
};

// The child positions from the root to the node last taken from the innermost level.
std::vector<std::size_t> positions_of(const std::vector<Level>& levels) {
  std::vector<std::size_t> positions;
  for (const Level& level : levels) positions.push_back(static_cast<std::size_t>(level.next - 1));
  return positions;
}

}  // namespace

std::optional<Node> protocol_to_node(PyObject* object, std::string_view root_name, Texts texts) {
  const bool keep_texts = texts == Texts::Kept;
  const AttributeNames names;
  if (!names.ok()) return std::nullopt;
  SignalInterrupt signals;
  InterruptPoll poll(&signals);
  Node root;
  std::vector<Level> levels;
  bool name_read = false;
  Ref children(read_attributes(names, object, root, name_read, keep_texts));
  if (!children) {
    note_node("while reading", root_name, {}, name_read ? &root.name : nullptr);
    return std::nullopt;
  }
  const Py_ssize_t length = PyList_GET_SIZE(children.get());
  root.children.reserve(static_cast<std::size_t>(length));
  levels.push_back(Level{std::move(children), &root, 0, length});
  while (!levels.empty()) {
    if (poll.stop()) return std::nullopt;
    Level& level = levels.back();
    if (level.next >= level.length || level.next >= PyList_GET_SIZE(level.list.get())) {
      levels.pop_back();
      continue;
    }
    // The element is held while it is read: its attribute lookups may run host code that
    // changes the list.
    Ref element = list_item(level.list.get(), level.next);
    if (!element) return std::nullopt;
    ++level.next;
    Node& child = level.node->children.emplace_back();
    name_read = false;
    Ref grandchildren;
    if (!too_deep(levels.size() + 1))
      grandchildren = read_attributes(names, element.get(), child, name_read, keep_texts);
    if (!grandchildren) {
      note_node("while reading", root_name, positions_of(levels), name_read ? &child.name : nullptr);
      return std::nullopt;
    }
    const Py_ssize_t count = PyList_GET_SIZE(grandchildren.get());
    child.children.reserve(static_cast<std::size_t>(count));
    levels.push_back(Level{std::move(grandchildren), &child, 0, count});
  }
  return root;
}

namespace {

// A new list of the str that `make` gives for each item.
template <class T, class Make>
Ref str_list(const std::vector<T>& items, Make make) {
  Ref list(PyList_New(static_cast<Py_ssize_t>(items.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < items.size(); ++i) {
    Ref text = make(items[i]);
    if (!text) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), text.release());  // takes the reference
  }
  return list;
}

// A result's display text: a number, an error text or nothing.
Ref result_text(const EvalResult& result) { return text_object(result.to_string()); }

// The field's Python form: a str, or a new list of str.
Ref field_object(NodeField field, const Node& node) {
  if (field == NodeField::Value) {
    if (node.value.is_single()) return result_text(node.value.single_value());
    return str_list(node.value.multi_values(), result_text);
  }
  const AnyDim<std::string>& texts = field == NodeField::Formula ? node.formula : node.cells;
  if (texts.is_single()) return text_object(texts.single_value());
  return str_list(texts.multi_values(), [](const std::string& text) { return text_object(text); });
}

PyObject* field_name(const AttributeNames& names, NodeField field) {
  switch (field) {
    case NodeField::Value:
      return names.value.get();
    case NodeField::Formula:
      return names.formula.get();
    case NodeField::Cells:
      return names.cells.get();
  }
  return names.value.get();
}

// Writes one object's field and puts its children list into `children` when it is a list.
// False with the exception set on failure.
bool write_one(const AttributeNames& names, PyObject* object, NodeField field, const Node& node, Ref& children) {
  Ref value(field_object(field, node));
  if (!value || PyObject_SetAttr(object, field_name(names, field), value.get()) < 0) return false;
  Ref list(PyObject_GetAttr(object, names.children.get()));
  if (!list) return false;
  if (PyList_Check(list.get())) children = std::move(list);
  return true;
}

struct WriteLevel {
  Ref list;
  const Node* node;
  std::size_t next;
};

const char* field_text(NodeField field) {
  switch (field) {
    case NodeField::Value:
      return "while writing 'value' to";
    case NodeField::Formula:
      return "while writing 'formula' to";
    case NodeField::Cells:
      return "while writing 'cells' to";
  }
  return "while writing to";
}

}  // namespace

bool update_node_field(PyObject* object, NodeField field, const Node& node, std::string_view root_name) {
  const AttributeNames names;
  if (!names.ok()) return false;
  SignalInterrupt signals;
  InterruptPoll poll(&signals);
  std::vector<WriteLevel> levels;
  std::vector<std::size_t> positions;  // of the node being written
  Ref children;
  if (!write_one(names, object, field, node, children)) {
    note_node(field_text(field), root_name, positions, &node.name);
    return false;
  }
  if (children) levels.push_back(WriteLevel{std::move(children), &node, 0});
  while (!levels.empty()) {
    if (poll.stop()) return false;
    WriteLevel& level = levels.back();
    // Node children beyond the host list's current length are skipped.
    if (level.next >= level.node->children.size() ||
        static_cast<Py_ssize_t>(level.next) >= PyList_GET_SIZE(level.list.get())) {
      levels.pop_back();
      continue;
    }
    const std::size_t i = level.next++;
    Ref element = list_item(level.list.get(), static_cast<Py_ssize_t>(i));  // held while host code runs
    if (!element) return false;
    const Node& child = level.node->children[i];
    Ref grandchildren;
    if (too_deep(levels.size() + 1) || !write_one(names, element.get(), field, child, grandchildren)) {
      positions.clear();
      for (const WriteLevel& at : levels) positions.push_back(at.next - 1);
      note_node(field_text(field), root_name, positions, &child.name);
      return false;
    }
    if (grandchildren) levels.push_back(WriteLevel{std::move(grandchildren), &child, 0});
  }
  return true;
}

Ref clone_python_object(PyObject* object) {
  Ref copy_module(PyImport_ImportModule("copy"));
  if (!copy_module) return nullptr;
  Ref deepcopy(PyObject_GetAttrString(copy_module.get(), "deepcopy"));
  if (!deepcopy) return nullptr;
  return Ref(PyObject_CallOneArg(deepcopy.get(), object));
}

}  // namespace ostrel::python

#include "python/formula_functions.h"

#include <array>
#include <string>

#include "eval/standalone.h"
#include "parser/tokenize.h"
#include "python/arguments.h"
#include "python/boundary.h"
#include "python/ref.h"

namespace ostrel::python {

namespace {

// The one `formula` argument as UTF-8, or nullopt with an exception set.
std::optional<std::string_view> formula_argument(const char* function, PyObject* const* args, Py_ssize_t nargs,
                                                 PyObject* kwnames) {
  const Signature<1> signature{function, {"formula"}, 1};
  const auto bound = bind_arguments(signature, args, nargs, kwnames);
  if (!bound) return std::nullopt;
  return text_argument<0>(signature, *bound);
}

// The token list: one (text, kind name) tuple per token, each kind name made once. The
// texts are made from the formula's bytes directly, with no copy on the way.
Ref token_list(std::string_view formula) {
  std::vector<parser::ScannedToken> tokens;
  tokens.reserve(formula.size() / 3 + 1);
  parser::TokenScanner scanner(formula);
  while (const std::optional<parser::ScannedToken> token = scanner.next()) tokens.push_back(*token);
  constexpr std::size_t kKinds = static_cast<std::size_t>(parser::TokenKind::Unexpected) + 1;
  std::array<Ref, kKinds> names;
  Ref list(PyList_New(static_cast<Py_ssize_t>(tokens.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const parser::ScannedToken& token = tokens[i];
    Ref& name = names[static_cast<std::size_t>(token.kind)];
    if (!name) name = text_object(parser::kind_name(token.kind));
    if (!name) return nullptr;
    Ref text(text_object(formula.substr(token.start, token.end - token.start)));
    if (!text) return nullptr;
    Ref pair(PyTuple_New(2));
    if (!pair) return nullptr;
    PyTuple_SET_ITEM(pair.get(), 0, text.release());
    PyTuple_SET_ITEM(pair.get(), 1, Py_NewRef(name.get()));
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), pair.release());  // takes the reference
  }
  return list;
}

}  // namespace

PyObject* py_evaluate(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> Ref {
    const auto formula = formula_argument("evaluate", args, nargs, kwnames);
    if (!formula) return nullptr;
    return text_object(eval::evaluate_formula_text(*formula));
  });
}

PyObject* py_evaluate_boolean(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> Ref {
    const auto formula = formula_argument("evaluate_boolean", args, nargs, kwnames);
    if (!formula) return nullptr;
    return text_object(eval::evaluate_condition_text(*formula));
  });
}

PyObject* py_get_tokens(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> Ref {
    const auto formula = formula_argument("get_tokens", args, nargs, kwnames);
    if (!formula) return nullptr;
    return token_list(*formula);
  });
}

}  // namespace ostrel::python

#include "nodes/node_json.h"

#include <vector>

namespace ostrel {

void write_json_string(std::string_view text, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += "\\u00";
          out += kHex[(c >> 4) & 0xF];
          out += kHex[c & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

namespace {

template <class T, class Text>
void write_any_dim(const AnyDim<T>& values, std::string& out, Text&& text) {
  if (values.is_single()) {
    write_json_string(text(values.single_value()), out);
    return;
  }
  out += '[';
  bool first = true;
  for (const T& v : values.multi_values()) {
    if (!first) out += ',';
    first = false;
    write_json_string(text(v), out);
  }
  out += ']';
}

}  // namespace

void write_json(const Node& root, std::string& out) {
  auto same = [](const std::string& s) -> std::string_view { return s; };
  auto shown = [](const EvalResult& r) { return r.to_string(); };
  // Each entry is a node still to be written, or (nullptr) the end of a children array and
  // of its node's object. Trees can be deep, so this does not recurse.
  std::vector<std::pair<const Node*, bool>> pending{{&root, true}};
  while (!pending.empty()) {
    const auto [node, first_sibling] = pending.back();
    pending.pop_back();
    if (node == nullptr) {
      out += "]}";
      continue;
    }
    if (!first_sibling) out += ',';
    out += "{\"id\":";
    write_json_string(node->id, out);
    out += ",\"name\":";
    write_json_string(node->name, out);
    out += ",\"formula\":";
    write_any_dim(node->formula, out, same);
    out += ",\"value\":";
    write_any_dim(node->value, out, shown);
    out += node->is_hidden ? ",\"is_hidden\":true" : ",\"is_hidden\":false";
    out += ",\"cells\":";
    write_any_dim(node->cells, out, same);
    out += ",\"children\":[";
    pending.emplace_back(nullptr, true);
    for (std::size_t i = node->children.size(); i-- > 0;) pending.emplace_back(&node->children[i], i == 0);
  }
}

}  // namespace ostrel

#include "tree/rename.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

#include "parser/tokenize.h"
#include "references.h"
#include "tree_index.h"

namespace ostrel::tree {

namespace {

constexpr std::string_view kRefError = "REF!";

// Reference texts as `build_unambiguous_name` writes them, with each name's preferred form
// worked out once per call: finding it takes two scans and a parse.
class ReferenceTexts {
 public:
  std::string text(const std::string& name, std::size_t occurrence, std::size_t count) {
    auto form = forms_.find(name);
    if (form == forms_.end()) form = forms_.emplace(name, get_preferred_reference_format(name).value_or("")).first;
    if (count < 2 || form->second.empty()) return form->second;
    return form->second + "[" + std::to_string(occurrence) + "]";
  }

 private:
  std::unordered_map<std::string, std::string> forms_;
};

std::size_t count_of(const NameCounts& counts, const std::string& name) {
  const auto found = counts.find(name);
  return found == counts.end() ? 1 : found->second;
}

// Whether two nodes get the same reference text without writing either: the same name,
// and either no index on both sides or the same one.
bool same_reference(const NodeInfo& a, std::size_t a_count, const NodeInfo& b, std::size_t b_count) {
  if (a.name != b.name) return false;
  if (a_count < 2 && b_count < 2) return true;
  return a_count >= 2 && b_count >= 2 && a.occurrence == b.occurrence;
}

// Whether `reference`, read in the new tree as evaluation reads references (visible nodes
// of the name in pre-order, narrowed by the index), selects a node that the old tree had
// too, visible or hidden.
bool selects_old_node(std::string_view reference, const TreeIndex& new_index,
                      const std::unordered_set<std::string_view>& old_ids) {
  const auto read = parse_node_reference_from_str(reference);
  if (!read) return false;
  const auto candidates = new_index.named(read.value().name);
  const auto old = [&](NodeIndex i) { return old_ids.contains(new_index.node(i).id); };
  if (const auto index = read.value().index) {
    return *index >= 1 && *index <= candidates.size() && old(candidates[*index - 1]);
  }
  return std::any_of(candidates.begin(), candidates.end(), old);
}

}  // namespace

NodesById collect_nodes_by_id(const Node& root, NameCounts& counts) {
  std::size_t size = 0;
  for_each_pre_order(root, [&](const Node&) { ++size; });
  NodesById nodes;
  nodes.reserve(size);
  counts.reserve(counts.size() + size);
  for_each_pre_order(root, [&](const Node& n) {
    if (n.is_hidden) return;
    const std::size_t occurrence = ++counts[n.name];
    nodes.insert_or_assign(n.id, NodeInfo{n.name, occurrence});
  });
  return nodes;
}

Replacements find_replacements(const Node& old_root, const Node& new_root) {
  NameCounts old_counts;
  NameCounts new_counts;
  const NodesById old_nodes = collect_nodes_by_id(old_root, old_counts);
  const NodesById new_nodes = collect_nodes_by_id(new_root, new_counts);

  ReferenceTexts texts;
  Replacements replacements;
  std::vector<std::pair<const NodeInfo*, const NodeInfo*>> kept;  // old, new
  std::vector<const NodeInfo*> removed;
  for (const auto& [id, old_info] : old_nodes) {
    const auto found = new_nodes.find(id);
    if (found == new_nodes.end()) {
      removed.push_back(&old_info);
      continue;
    }
    const NodeInfo& new_info = found->second;
    kept.emplace_back(&old_info, &new_info);
    const std::size_t old_count = count_of(old_counts, old_info.name);
    const std::size_t new_count = count_of(new_counts, new_info.name);
    if (same_reference(old_info, old_count, new_info, new_count)) continue;
    std::string old_text = texts.text(old_info.name, old_info.occurrence, old_count);
    // A name without a reference form was never written in a formula.
    if (old_text.empty()) continue;
    std::string new_text = texts.text(new_info.name, new_info.occurrence, new_count);
    // The new name cannot be written as a reference; an empty text would leave a hole.
    if (new_text.empty()) new_text = kRefError;
    replacements.insert_or_assign(std::move(old_text), std::move(new_text));
  }
  if (removed.empty()) return replacements;

  // Shifted positions: a kept node's old name at its new place. A position can be a
  // removed node's text only if the names agree, so only those names are written out.
  std::unordered_set<std::string_view> removed_names;
  for (const NodeInfo* info : removed) removed_names.insert(info->name);
  std::unordered_set<std::string> shifted;
  for (const auto& [old_info, new_info] : kept) {
    if (!removed_names.contains(old_info->name)) continue;
    shifted.insert(texts.text(old_info->name, new_info->occurrence, count_of(new_counts, old_info->name)));
  }

  std::unordered_set<std::string_view> old_ids;
  for_each_pre_order(old_root, [&](const Node& n) { old_ids.insert(n.id); });
  const TreeIndex new_index(new_root);
  for (const NodeInfo* info : removed) {
    std::string text = texts.text(info->name, info->occurrence, count_of(old_counts, info->name));
    if (text.empty()) continue;
    // Left alone, the text would silently come to mean a node that was already there. Only
    // a node new to the tree may take over a removed node's reference.
    if (shifted.contains(text) || selects_old_node(text, new_index, old_ids)) {
      replacements.insert_or_assign(std::move(text), std::string(kRefError));
    }
  }
  return replacements;
}

namespace {

// A quick test that a formula holds no key as a substring after some "@", which spares
// scanning it: no token of it can then be a key. The keys' hashes are kept in a small open
// table and probed, at each "@", for every key length. Long keys make the probe costly, and
// keys without "@" are not found this way; with either, every formula is scanned.
class KeyFilter {
 public:
  explicit KeyFilter(const Replacements& replacements) {
    std::size_t size = 16;
    while (size < 2 * replacements.size()) size *= 2;
    table_.assign(size, 0);
    for (const auto& [key, _] : replacements) {
      if (key.size() > kLongest || !key.starts_with('@')) {
        table_.clear();
        return;
      }
      if (key.size() >= lengths_.size()) lengths_.resize(key.size() + 1, false);
      lengths_[key.size()] = true;
      const std::uint64_t h = hash_of(key);
      table_[probe(h)] = h;
    }
  }

  bool may_hold_key(std::string_view formula) const {
    if (table_.empty()) return true;
    for (std::size_t at = formula.find('@'); at != std::string_view::npos; at = formula.find('@', at + 1)) {
      const std::size_t end = std::min(formula.size(), at + lengths_.size() - 1);  // past the longest key
      std::uint64_t h = kOffset;
      for (std::size_t i = at; i < end; ++i) {
        h = step(h, formula[i]);
        const std::uint64_t key = h | 1;
        if (lengths_[i - at + 1] && table_[probe(key)] == key) return true;
      }
    }
    return false;
  }

 private:
  static constexpr std::size_t kLongest = 256;
  static constexpr std::uint64_t kOffset = 14695981039346656037ull;  // FNV-1a
  static std::uint64_t step(std::uint64_t h, char c) { return (h ^ static_cast<unsigned char>(c)) * 1099511628211ull; }
  // Never 0, which marks a free slot.
  static std::uint64_t hash_of(std::string_view key) {
    std::uint64_t h = kOffset;
    for (const char c : key) h = step(h, c);
    return h | 1;
  }
  // The slot holding `h`, or the free slot where it would go.
  std::size_t probe(std::uint64_t h) const {
    const std::size_t mask = table_.size() - 1;
    std::size_t i = (h ^ (h >> 29)) & mask;
    while (table_[i] != 0 && table_[i] != h) i = (i + 1) & mask;
    return i;
  }

  std::vector<bool> lengths_ = {false};  // lengths_[n]: some key is n bytes long
  std::vector<std::uint64_t> table_;     // at most half full
};

// The rewritten formula, or nothing when no token of it is replaced.
std::optional<std::string> rewritten(std::string_view formula, const Replacements& replacements,
                                     const KeyFilter& filter) {
  if (replacements.empty() || !filter.may_hold_key(formula)) return std::nullopt;
  std::string out;
  std::size_t copied = 0;  // formula bytes before this offset are in `out`
  for (const parser::Token& token : parser::scan_tokens(formula)) {
    if (token.kind != parser::TokenKind::NodeReference || token.text.starts_with("children")) continue;
    const auto found = replacements.find(token.text);
    if (found == replacements.end() || token.start < copied) continue;
    out.append(formula.substr(copied, token.start - copied));
    out += found->second;
    copied = token.end;
  }
  if (copied == 0) return std::nullopt;
  out.append(formula.substr(copied));
  return out;
}

void rewrite(std::string& formula, const Replacements& replacements, const KeyFilter& filter) {
  if (auto text = rewritten(formula, replacements, filter)) formula = std::move(*text);
}

}  // namespace

std::string replace_references(std::string_view formula, const Replacements& replacements) {
  return rewritten(formula, replacements, KeyFilter(replacements)).value_or(std::string(formula));
}

void replace_references_in_tree(Node& root, const Replacements& replacements) {
  if (replacements.empty()) return;
  const KeyFilter filter(replacements);
  for_each_pre_order(root, [&](Node& node) {
    if (node.formula.is_single()) {
      rewrite(node.formula.single_value(), replacements, filter);
    } else {
      // Per-dimension formulas often repeat the one before: a run of equal texts is scanned once.
      std::vector<std::string>& texts = node.formula.multi_values();
      std::string previous;  // the last text scanned, as it was before rewriting
      for (std::size_t d = 0; d < texts.size(); ++d) {
        if (d > 0 && texts[d] == previous) {
          texts[d] = texts[d - 1];
          continue;
        }
        previous = texts[d];
        rewrite(texts[d], replacements, filter);
      }
    }
  });
}

void rename_references(const Node& old_root, Node& new_root) {
  replace_references_in_tree(new_root, find_replacements(old_root, new_root));
}

}  // namespace ostrel::tree

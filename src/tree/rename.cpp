#include "tree/rename.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <unordered_set>
#include <utility>

#include "parser/reference_tokens.h"
#include "parser/terminals.h"
#include "references.h"
#include "text/fnv1a.h"

namespace ostrel::tree {

namespace {

constexpr std::string_view kRefError = error_text(EvalError::Ref);

// Reference texts as `build_unambiguous_name` writes them, with each name's preferred form
// worked out once per call: finding it takes two scans and a parse.
class ReferenceTexts {
 public:
  std::string text(const std::string& name, std::size_t occurrence, std::size_t count) {
    auto form = forms_.find(name);
    if (form == forms_.end()) form = forms_.emplace(name, get_preferred_reference_format(name).value_or("")).first;
    return with_namesake_index(form->second, occurrence, count);
  }

 private:
  std::unordered_map<std::string, std::string> forms_;
};

// Whether two nodes get the same reference text without writing either: the same name,
// and either no index on both sides or the same one.
bool same_reference(const std::string& a, std::size_t a_occurrence, std::size_t a_count, const std::string& b,
                    std::size_t b_occurrence, std::size_t b_count) {
  if (a != b) return false;
  if (a_count < 2 && b_count < 2) return true;
  return a_count >= 2 && b_count >= 2 && a_occurrence == b_occurrence;
}

// The position among `count` visible namesakes of the one node that a reference with
// `index` selects, as evaluation selects it; nothing when it selects none, or several.
std::optional<std::size_t> selected(std::size_t count, std::optional<std::uint64_t> index) {
  if (!index) return count == 1 ? std::optional<std::size_t>(0) : std::nullopt;
  if (*index == 0 || *index > count) return std::nullopt;
  return static_cast<std::size_t>(*index - 1);
}

// Whether a reference with `index` selects any node among `count` visible namesakes.
bool selects_any(std::size_t count, std::optional<std::uint64_t> index) {
  return index ? *index >= 1 && *index <= count : count >= 1;
}

// A visible node's position, counting from 1, among the visible nodes of its name, which
// the index lists in pre-order.
std::size_t occurrence(std::span<const NodeIndex> namesakes, NodeIndex node) {
  return static_cast<std::size_t>(std::lower_bound(namesakes.begin(), namesakes.end(), node) - namesakes.begin()) + 1;
}

// The nodes carrying each non-empty id, hidden ones included: how many, and the last.
struct Carriers {
  std::size_t count = 0;
  NodeIndex node = 0;
};

// Asks the poll, when there is one, for one step.
bool stop(InterruptPoll* poll) { return poll != nullptr && poll->stop(); }

std::unordered_map<std::string_view, Carriers> carriers_by_id(const TreeIndex& index, InterruptPoll* poll) {
  std::unordered_map<std::string_view, Carriers> carriers;
  carriers.reserve(index.size());
  for (NodeIndex i = 0; i < index.size(); ++i) {
    if (stop(poll)) break;
    const std::string& id = index.node(i).id;
    if (id.empty()) continue;
    Carriers& found = carriers[id];
    ++found.count;
    found.node = i;
  }
  return carriers;
}

}  // namespace

Renaming::Renaming(const Node& old_root, const Node& new_root, InterruptPoll* poll) : old_index_(old_root) {
  const TreeIndex new_index(new_root);
  const auto old_ids = carriers_by_id(old_index_, poll);
  const auto new_ids = carriers_by_id(new_index, poll);
  ReferenceTexts texts;
  std::unordered_set<std::string_view> names;
  for (NodeIndex i = 0; i < old_index_.size(); ++i) {
    if (stop(poll)) return;
    const Node& node = old_index_.node(i);
    // Without an id, or with one that several nodes of the old or of the new tree carry
    // (hidden ones included), the node cannot be told from the others: its references
    // have nothing to follow and stay as written.
    if (node.is_hidden || node.id.empty() || old_ids.find(node.id)->second.count > 1) continue;
    const auto found = new_ids.find(node.id);
    if (found != new_ids.end() && found->second.count > 1) continue;
    Fate fate;
    if (found == new_ids.end() || new_index.node(found->second.node).is_hidden) {
      // Gone from view. A reference that selects nothing in the new tree reads "REF!" as
      // it is; one that selects a node reads another node.
      fate.namesakes = new_index.named(node.name).size();
      if (fate.namesakes == 0) continue;
    } else {
      const NodeIndex kept = found->second.node;
      const Node& now = new_index.node(kept);
      const std::span<const NodeIndex> before = old_index_.named(node.name);
      const std::span<const NodeIndex> after = new_index.named(now.name);
      const std::size_t old_occurrence = occurrence(before, i);
      const std::size_t new_occurrence = occurrence(after, kept);
      // Any reference that selected the node before selects it still.
      if (same_reference(node.name, old_occurrence, before.size(), now.name, new_occurrence, after.size())) continue;
      fate.text = texts.text(now.name, new_occurrence, after.size());
      // The new name cannot be written as a reference; an empty text would leave a hole.
      if (fate.text.empty()) fate.text = kRefError;
    }
    fates_.emplace(i, std::move(fate));
    if (names.insert(node.name).second) names_.push_back(node.name);
  }
}

std::optional<std::string_view> Renaming::replacement(const parser::ScannedReference& reference) const {
  if (fates_.empty() || reference.kind != parser::ScannedReference::Kind::Node) return std::nullopt;
  const std::span<const NodeIndex> namesakes = old_index_.named(reference.name);
  const std::optional<std::size_t> position = selected(namesakes.size(), reference.index);
  if (!position) return std::nullopt;
  const auto fate = fates_.find(namesakes[*position]);
  if (fate == fates_.end()) return std::nullopt;
  if (!fate->second.text.empty()) return fate->second.text;
  if (selects_any(fate->second.namesakes, reference.index)) return kRefError;
  return std::nullopt;
}

namespace {

// A quick test that a formula holds no key as a reference after some "@", which spares
// scanning it. The keys' hashes are kept in a small open table. After "@" and an identifier,
// the only reference that can begin there is "@" and that whole identifier: one probe. After
// "@{", a braced reference ends with "}": the table is probed at every "}" within the
// longest key's length. After any other "@" no reference begins. Long keys make the braced
// probes costly, and keys without "@" are not found this way; with either, every formula is
// scanned.
class KeyFilter {
 public:
  explicit KeyFilter(const std::vector<std::string>& keys) {
    std::size_t size = 16;
    while (size < 2 * keys.size()) size *= 2;
    table_.assign(size, 0);
    for (const std::string& key : keys) {
      if (key.size() > kLongest || !key.starts_with('@')) {
        table_.clear();
        return;
      }
      if (key.size() >= lengths_.size()) lengths_.resize(key.size() + 1, 0);
      lengths_[key.size()] = true;
      const std::uint64_t h = hash_of(key);
      table_[probe(h)] = h;
    }
  }

  bool may_hold_key(std::string_view formula) const {
    if (table_.empty()) return true;
    for (std::size_t at = formula.find('@'); at != std::string_view::npos; at = formula.find('@', at + 1)) {
      if (const std::size_t name_end = parser::terminals::identifier_end(formula, at + 1); name_end > at + 1) {
        const std::string_view reference = formula.substr(at, name_end - at);
        if (reference.size() < lengths_.size() && lengths_[reference.size()]) {
          const std::uint64_t h = hash_of(reference);
          if (table_[probe(h)] == h) return true;
        }
        continue;
      }
      if (at + 1 >= formula.size() || formula[at + 1] != '{') continue;
      const std::size_t end = std::min(formula.size(), at + lengths_.size() - 1);  // past the longest key
      std::uint64_t h = fnv1a::kOffset;
      for (std::size_t i = at; i < end; ++i) {
        h = fnv1a::step(h, formula[i]);
        if (formula[i] != '}' || !lengths_[i - at + 1]) continue;
        const std::uint64_t key = h | 1;
        if (table_[probe(key)] == key) return true;
      }
    }
    return false;
  }

 private:
  static constexpr std::size_t kLongest = 256;
  // Never 0, which marks a free slot.
  static std::uint64_t hash_of(std::string_view key) { return fnv1a::hash(key) | 1; }
  // The slot holding `h`, or the free slot where it would go.
  std::size_t probe(std::uint64_t h) const {
    const std::size_t mask = table_.size() - 1;
    std::size_t i = (h ^ (h >> 29)) & mask;
    while (table_[i] != 0 && table_[i] != h) i = (i + 1) & mask;
    return i;
  }

  std::vector<std::uint8_t> lengths_ = {0};  // lengths_[n]: some key is n bytes long
  std::vector<std::uint64_t> table_;         // at most half full
};

// The filter for the renaming: every reference token of a name begins "@name" or "@{name}".
KeyFilter filter_of(const Renaming& renaming) {
  std::vector<std::string> keys;
  keys.reserve(2 * renaming.names().size());
  for (const std::string& name : renaming.names()) {
    keys.push_back("@" + name);
    keys.push_back("@{" + name + "}");
  }
  return KeyFilter(keys);
}

// The rewritten formula, or nothing when no token of it is replaced.
std::optional<std::string> rewritten(std::string_view formula, const Renaming& renaming, const KeyFilter& filter) {
  if (renaming.names().empty() || !filter.may_hold_key(formula)) return std::nullopt;
  std::string out;
  std::size_t copied = 0;  // formula bytes before this offset are in `out`
  for (const parser::ScannedReference& reference : parser::scan_references(formula)) {
    const std::optional<std::string_view> text = renaming.replacement(reference);
    if (!text) continue;
    out.append(formula.substr(copied, reference.start - copied));
    out += *text;
    copied = reference.end();
  }
  if (copied == 0) return std::nullopt;
  out.append(formula.substr(copied));
  return out;
}

void rewrite(std::string& formula, const Renaming& renaming, const KeyFilter& filter) {
  if (auto text = rewritten(formula, renaming, filter)) formula = std::move(*text);
}

}  // namespace

std::string replace_references(std::string_view formula, const Renaming& renaming) {
  return rewritten(formula, renaming, filter_of(renaming)).value_or(std::string(formula));
}

bool replace_references_in_tree(Node& root, const Renaming& renaming, Interrupt* interrupt) {
  if (renaming.names().empty()) return true;
  const KeyFilter filter = filter_of(renaming);
  InterruptPoll poll(interrupt);
  for_each_pre_order(root, [&](Node& node) {
    if (poll.stop()) return;
    if (node.formula.is_single()) {
      rewrite(node.formula.single_value(), renaming, filter);
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
        rewrite(texts[d], renaming, filter);
      }
    }
  });
  return !poll.stopped();
}

bool rename_references(const Node& old_root, Node& new_root, Interrupt* interrupt) {
  InterruptPoll poll(interrupt);
  const Renaming renaming(old_root, new_root, &poll);
  return !poll.stopped() && replace_references_in_tree(new_root, renaming, interrupt);
}

}  // namespace ostrel::tree

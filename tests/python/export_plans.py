"""Random acyclic plans for the spreadsheet round trip: trees whose every cell a spreadsheet must compute as
evaluate_tree does, over every function, aggregation, conditional, modifier and reference kind, with references that
fail on purpose; each divergence that docs/api.md lists is avoided by name where it could arise (comments below)."""

from __future__ import annotations

import itertools
import math
import random
from dataclasses import dataclass, field, replace

from conftest import N, pre_order

# Every number format the language reads; all but the percentage are dyadic, so sums and products stay exact.
INPUT_TEXTS = ["0", "1", "2", "3", "7", "12", "25", "100", "250", "-3", "-12", "1,5", "2.5", "12,5", "0,25",
               "1.234,5", "1,234.5", " 40 ", "-0,75", "15%"]
LITERALS = ["0", "1", "2", "3", "5", "10", "0,5", "1,5", "2.5", "100", "20%"]
BIG, TRIES = 1e12, 8  # magnitudes above BIG are replaced by literals (overflow)


@dataclass
class Expr:
    text: str
    empty: bool = False  # may be the engine's empty value
    error: bool = False  # may be an error
    size: float = 1.0  # a bound of the magnitude
    exact: bool = True  # both compute the same double
    cell: bool = False  # a cell as it stands, which aggregations skip when it is empty
    input: bool = False  # an input's value, of at most two decimals


def either(*parts):
    return Expr("", any(p.empty for p in parts), any(p.error for p in parts), max(p.size for p in parts),
                all(p.exact for p in parts), all(p.cell for p in parts), all(p.input for p in parts))


def operand(e):
    """The text as one operand: a call ("root(abs(@a); 2)") as it stands, whatever its export becomes, operators in
    parentheses."""
    start = e.text.find("(")
    if start > 0 and e.text[:start].isalpha() and e.text.endswith(")"):
        depths = itertools.accumulate({"(": 1, ")": -1}.get(c, 0) for c in e.text[start:])
        if next(i for i, depth in enumerate(depths) if depth == 0) == len(e.text) - start - 1:
            return e.text
    return e.text if " " not in e.text and e.text[:1] not in "+-" else f"({e.text})"


def number_of(text):
    return float(text.replace(",", ".").rstrip("%")) / (100 if text.endswith("%") else 1)


def literal(rng, exact=False):
    text = rng.choice([t for t in LITERALS if "%" not in t] if exact else LITERALS)
    return Expr(text, size=abs(number_of(text)), exact="%" not in text)


@dataclass
class Made:
    node: N
    value: Expr  # its text is the node's reference ("@n3"), empty for a hidden or shared node
    attached: bool = False


@dataclass
class Scope:
    """A formula's children, and its later dimensions (`right`, one Expr each; None for a single formula)."""
    children: list = field(default_factory=list)
    right: list | None = None


class PlanMaker:
    def __init__(self, rng: random.Random, dimensions: int):
        self.rng, self.dimensions, self.made, self.shared = rng, dimensions, [], []  # shared: the nodes of each name

    def input_text(self):
        return "" if self.rng.random() < 0.15 else self.rng.choice(INPUT_TEXTS)

    def add_input(self, name=None, hidden=False):
        texts = [self.input_text()] if self.rng.random() < 0.4 else [self.input_text() for _ in range(self.dimensions)]
        node = N(name or f"n{len(self.made) + 1}", texts[0] if len(texts) == 1 and self.rng.random() < 0.8 else texts,
                 is_hidden=hidden)
        # A single number serves every dimension: one address will do.
        node.single_address = isinstance(node.formula, str) and texts[0] != "" and self.rng.random() < 0.5
        # Empty where a text is blank, and beyond the end of a shorter list.
        empty = "" in texts or isinstance(node.formula, list) and len(texts) < self.dimensions
        self.made.append(Made(node, Expr("" if hidden else f"@{node.name}", empty, False, 1250.0,
                                         not any("%" in t for t in texts), True, True)))
        return self.made[-1]

    def add_shared(self):
        """Two or three inputs of one name, read with indexes or as a list."""
        group = [self.add_input(f"s{len(self.shared) + 1}") for _ in range(self.rng.randint(2, 3))]
        for member in group:
            member.value.text = ""
        self.shared.append(group)

    def visible(self):
        return [m for m in self.made if m.value.text]

    def reference(self, scope):
        rng, choices = self.rng, []
        if self.visible():
            choices.append(rng.choice(self.visible()).value)
        if self.shared:
            group = rng.choice(self.shared)
            k = rng.randint(1, len(group))
            choices.append(replace(either(*(m.value for m in group)), text=f"@{group[0].node.name}[{k}]"))
        for word, members in (("children", scope.children), ("right", scope.right)):
            if members:
                k = rng.randint(1, len(members))
                choices.append(replace(members[k - 1], text=f"{word}[{k}]"))
        return rng.choice(choices) if choices else literal(rng)

    def failing_reference(self, scope):
        """A reference the engine cannot resolve, or a list where one value belongs."""
        options = ["@nobody", "children[99]", "right[99]"]
        # right ends where the formula list ends, whatever its cells; a single formula has none
        options += [f"right[{len(scope.right) + 1}]"] if scope.right is not None else ["right[1]", "sum(right)"]
        if self.visible():
            options.append(self.rng.choice(self.visible()).value.text + "[2]")
        options += [f"{text} + 1" for text, _ in self.lists(scope)]
        return Expr(self.rng.choice(options), error=True)

    def lists(self, scope):
        """The lists a formula can read: (text, an Expr per member)."""
        found = [(f"@{group[0].node.name}", [m.value for m in group]) for group in self.shared]
        found += [("children", scope.children)] if scope.children else []
        return found + ([("right", scope.right)] if scope.right is not None else [])

    def value(self, scope, depth):
        if depth <= 0 or self.rng.random() < 0.25:
            if self.rng.random() < 0.04:
                return self.failing_reference(scope)
            return self.reference(scope) if self.rng.random() < 0.75 else literal(self.rng)
        kind = self.rng.choice(["arith", "arith", "sign", "paren", "function", "function", "aggregate", "aggregate",
                                "coalesce", "if", "when", "modifier"])
        return getattr(self, "make_" + kind)(scope, depth - 1)

    def filled(self, scope, depth):
        e = self.value(scope, depth)
        return replace(e, text=f"{operand(e)} + 0", empty=False, cell=False) if e.empty else e

    def exact(self, scope, depth):
        """Never empty, and computed alike by both (nearly equal numbers)."""
        tries = (self.filled(scope, depth) for _ in range(TRIES))
        return next((e for e in tries if e.exact and e.size <= 1e6), None) or literal(self.rng, exact=True)

    def bounded(self, e, limit=BIG):
        return e if e.size <= limit else literal(self.rng)  # overflow

    def make_arith(self, scope, depth):
        op = self.rng.choice(["+", "-", "*", "/", "%", "^"])
        if op == "%":  # remainders of negative numbers: an absolute value by a positive literal
            a = self.exact(scope, depth)
            return Expr(f"abs({a.text}) % {self.rng.choice(['2', '3', '7', '2,5'])}", False, a.error, 7.0)
        a = self.value(scope, depth) if op != "^" or self.rng.random() < 0.5 else self.call(scope, depth)
        if op == "^":
            a = self.bounded(a, 1e4)
            if self.rng.random() < 0.3:  # roots of negative numbers: a fractional power of an absolute value
                a = self.exact(scope, depth)
                return Expr(f"abs({a.text}) ^ 0,5", False, a.error, a.size ** 0.5 + 1, False)
            k = self.rng.choice([1, 2, 3])
            return self.bounded(Expr(f"{operand(a)} ^ {k}", False, a.error, a.size ** k, a.exact))
        if op == "/":
            b = self.exact(scope, depth)
            failing = a.error or b.error or b.text not in LITERALS or number_of(b.text) == 0
            return self.bounded(Expr(f"{operand(a)} / {operand(b)}", False, failing, a.size * 1e3, False))
        b = self.value(scope, depth)
        size = a.size * b.size if op == "*" else a.size + b.size
        return self.bounded(Expr(f"{operand(a)} {op} {operand(b)}", False, a.error or b.error, size, a.exact and b.exact))

    def call(self, scope, depth):
        """A function, aggregation or modifier: an operand that its export must keep one."""
        return getattr(self, "make_" + self.rng.choice(["function", "aggregate", "modifier"]))(scope, depth)

    def make_sign(self, scope, depth):
        a = self.value(scope, depth) if self.rng.random() < 0.5 else self.call(scope, depth)
        if self.rng.random() < 0.5:
            return replace(a, text=f"-{operand(a)}", empty=False, cell=False, input=False)
        return replace(a, text=f"+{operand(a)}")  # a plus passes the value on, an empty one too

    def make_paren(self, scope, depth):
        a = self.value(scope, depth)
        return replace(a, text=f"({a.text})")

    def make_function(self, scope, depth):
        name = self.rng.choice(["abs", "round", "round2", "ceil", "floor", "pow", "root", "log", "log2", "mod", "sign",
                                "iferror"])
        if name in ("abs", "pow", "iferror"):
            a = self.value(scope, depth)
            if name == "abs":
                return Expr(f"abs({a.text})", False, a.error, a.size, a.exact)
            if name == "pow":
                a, k = self.bounded(a, 1e3), self.rng.choice(["1", "2", "3"])
                return self.bounded(Expr(f"pow({a.text}; {k})", False, a.error, a.size ** int(k), a.exact))
            b = self.value(scope, depth)  # the second argument's value when the first fails
            return replace(either(a, b), text=f"iferror({a.text}; {b.text})", error=b.error, input=False)
        inputs = [m.value for m in self.visible() if m.value.input and not m.value.empty]
        a = self.rng.choice(inputs) if name == "round2" and inputs and self.rng.random() < 0.5 else self.exact(scope, depth)
        if name == "round2":
            # rounding ties: only an input's value, of at most two decimals, is rounded to a
            # decimal place; other digits are whole numbers, or computed ones of few digits
            digits = [Expr(d) for d in ["0", "-1", "-2"] + (["1", "2", "0,6", "1,6"] if a.input else [])]
            if a.input and (e := self.exact(scope, 0)).size <= 3:
                digits.append(e)
            d = self.rng.choice(digits)
            # a power of ten other than 1 is inexact: the result may differ in its last bits
            return Expr(f"round({a.text}; {d.text})", False, a.error or d.error, a.size + 100, d.text == "0")
        if name in ("round", "ceil", "floor", "sign"):
            return Expr(f"{name}({a.text})", False, a.error, a.size + 1)
        if name == "root":
            return Expr(f"root(abs({a.text}); {self.rng.choice(['2', '3'])})", False, a.error, a.size ** 0.5 + 1, False)
        if name in ("log", "log2"):
            base = "" if name == "log" else "; " + self.rng.choice(["2", "10", "0,5", self.exact(scope, depth).text])
            return Expr(f"log({a.text}{base})", False, True, 10.0 if name == "log" else 1e3, False)
        b = self.exact(scope, depth)
        divisor = self.rng.choice(["3", "4,5", f"abs({b.text}) + 1"])
        return Expr(f"mod(abs({a.text}); {divisor})", False, a.error or "+" in divisor and b.error, a.size)

    def aggregation_argument(self, scope, depth):
        """(text, an Expr per member): a list or one value."""
        rng, lists = self.rng, self.lists(scope)
        if lists and rng.random() < 0.4:
            text, members = rng.choice(lists)
            return rng.choice([text, text, f"({text})", f"+{text}", f"iferror({text}; 0)"]), members
        blanks = [m.value for m in self.visible() if m.value.empty]
        if blanks and rng.random() < 0.2:  # maybe nothing but empty cells
            e = rng.choice(blanks)
            return e.text, [e]
        e = self.value(scope, depth)
        if e.empty and not e.cell:  # formulas that read an empty cell: aggregations skip only cells
            e = replace(e, text=f"{operand(e)} + 0", empty=False)
        return e.text, [e]

    def make_aggregate(self, scope, depth):
        name = self.rng.choice(["sum", "mult", "avg", "median", "stdev", "max", "min", "count"])
        if self.rng.random() < 0.05:
            return Expr(f"{name}()", error=name not in ("sum", "mult", "count"))
        texts, members = [], []
        for _ in range(self.rng.randint(1, 3)):
            tries = (self.aggregation_argument(scope, depth) for _ in range(TRIES))  # `count` skips error cells
            text, found = next((t for t in tries if name != "count" or not any(m.error for m in t[1])),
                               ("1", [Expr("1")]))
            texts.append(text)
            members += found
        if name in ("max", "min") and all(m.empty for m in members):  # `max` and `min` of empty cells
            texts.append(literal(self.rng).text)
            members.append(Expr("", size=100.0))
        numbers = sum(not m.empty for m in members)  # at least this many
        error = any(m.error for m in members) or numbers < {"stdev": 2, "sum": 0, "mult": 0, "count": 0}.get(name, 1)
        sizes = [m.size for m in members]
        size = {"sum": sum(sizes), "mult": math.prod(max(s, 1.0) for s in sizes)}.get(name, max(sizes, default=1.0))
        exact = all(m.exact for m in members) and name not in ("avg", "stdev")
        return self.bounded(Expr(f"{name}({'; '.join(texts)})", False, error, size, exact))

    def make_coalesce(self, scope, depth):
        texts, operands, lists = ["empty"] if self.rng.random() < 0.2 else [], [], self.lists(scope)  # skipped
        for _ in range(self.rng.randint(1, 3)):
            use_list = lists and self.rng.random() < 0.3
            text, members = self.rng.choice(lists) if use_list else ((e := self.value(scope, depth)).text, [e])
            texts.append(text)
            operands += members
        if not operands or operands[-1].empty and not operands[-1].cell:
            # a list that selects nothing leaves the empty text of coalesce(): a value ends it
            e = literal(self.rng)
            texts.append(e.text)
            operands.append(e)
        empty = all(o.empty for o in operands)
        return replace(either(*operands), text=f"coalesce({'; '.join(texts)})", empty=empty,
                       cell=empty and operands[-1].cell, input=False)

    def condition(self, scope, depth):
        """A condition's text, and whether it may fail."""
        kind = self.rng.choice(["compare", "compare", "compare", "bare", "not", "and", "or", "nested"])
        if kind == "compare" or depth <= 0:
            # comparisons with empty cells, nearly equal numbers: exact operands, never empty
            a, b = self.exact(scope, depth), self.exact(scope, depth)
            return f"{a.text} {self.rng.choice(['==', '!=', '>', '<', '>=', '<='])} {b.text}", a.error or b.error
        if kind == "bare":
            a = self.exact(scope, depth)
            return a.text, a.error
        text, error = self.condition(scope, depth - 1)
        if kind == "not":
            return f"not {text}" if " and " not in text and " or " not in text else f"not ({text})", error
        if kind == "nested":
            return f"({text})", error
        parts = [f"({text})"]
        for _ in range(self.rng.randint(1, 2)):  # short-circuit conditions: later operands never fail
            tries = (self.condition(scope, depth - 1) for _ in range(TRIES))
            parts.append(f"({next((text for text, failing in tries if not failing), '1 > 0')})")
        return f" {kind} ".join(parts), error

    def make_if(self, scope, depth, word="if"):
        clauses, values, error = [], [], False
        for _ in range(self.rng.randint(1, 3) if word == "when" else 1):
            condition, failing = self.condition(scope, depth)
            values.append(self.value(scope, depth))
            clauses.append(f"{condition}; {values[-1].text}")
            error = error or failing
        values.append(self.value(scope, depth))
        result = either(*values)
        return replace(result, text=f"{word}({'; '.join(clauses)}; {values[-1].text})", error=error or result.error)

    def make_when(self, scope, depth):
        return self.make_if(scope, depth, "when")

    def make_modifier(self, scope, depth):
        targets = [(m.value.text, [m.value]) for m in self.visible()]
        targets += [(f"@{g[0].node.name}", [m.value for m in g]) for g in self.shared]
        if not targets:
            return literal(self.rng)
        text, members = self.rng.choice(targets)
        if self.rng.random() < 0.5:
            total = either(*members)
            return Expr(f"total({text})", False, total.error, sum(m.size for m in members), total.exact)
        if len(members) > 1:
            k = self.rng.randint(1, len(members))
            text, members = f"{text}[{k}]", [members[k - 1]]
        # nearly equal numbers: a ratio divides by a first dimension that may be nearly 0
        return Expr(f"ratio({text})", False, True, 1e4, False) if members[0].exact else literal(self.rng)

    def formula_text(self, scope, depth=3):
        """A formula whose value is never empty; a blank before "=" is still a formula."""
        e = self.filled(scope, depth)
        return (" =" if self.rng.random() < 0.1 else "=") + e.text, e

    def free(self):
        return [m for m in self.made if not m.attached]

    def add_formula(self):
        free, children = self.free(), []  # some nodes not yet in the tree become its children
        if self.rng.random() < 0.4 and free:
            children = self.rng.sample(free, min(len(free), self.rng.randint(1, 3)))
        for child in children:
            child.attached = True
        scope = Scope(children=[replace(c.value, text="") for c in children])
        if self.rng.random() < 0.5:
            formula, value = self.formula_text(scope)
        else:
            # One text per dimension, made from the last: right reads only later ones. The
            # list may end before the last dimension, whose value is then empty.
            length = self.dimensions - (1 if self.dimensions > 1 and self.rng.random() < 0.2 else 0)
            formula, later = [], []
            for _ in range(length):
                scope.right = list(later)
                text, e = self.formula_text(scope)
                formula.insert(0, text)
                later.insert(0, replace(e, cell=True, input=False))
            value = replace(either(*later), empty=length < self.dimensions)
        node = N(f"n{len(self.made) + 1}", formula, [c.node for c in children])
        self.made.append(Made(node, replace(value, text=f"@{node.name}", cell=True, input=False)))

    def root(self):
        """The root over every unattached node; no cell reads it, so it may be the empty text."""
        scope, special = Scope(children=[replace(m.value, text="") for m in self.free()]), self.rng.random()
        if special < 0.1:
            formula = "=empty"
        elif special < 0.25:
            formula = f"=iferror({self.filled(scope, 2).text})"
        elif special < 0.4:
            formula = f"=when({self.condition(scope, 2)[0]}; {self.filled(scope, 2).text})"
        else:
            formula = self.formula_text(scope)[0]
        return N("plan", formula, [m.node for m in self.free()])


def random_plan(rng: random.Random) -> N:
    """One plan: a host tree without cells; `dimensions` tells how many it has."""
    maker = PlanMaker(rng, rng.randint(1, 4))
    for _ in range(rng.randint(2, 5)):
        maker.add_input()
    if rng.random() < 0.3:  # a hidden node of a visible node's name: that name still names one node
        maker.add_input(name=rng.choice(maker.visible()).node.name, hidden=True)
    if rng.random() < 0.6:
        maker.add_shared()
    for _ in range(rng.randint(3, 8)):
        maker.add_formula()
    plan = maker.root()
    # The tree's dimensions are its longest formula list's: cells beyond them would have no engine value.
    plan.dimensions = max((len(n.formula) for n in pre_order(plan) if isinstance(n.formula, list)), default=1)
    return plan

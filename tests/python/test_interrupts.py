"""Interrupts and MemoryError raised by host objects reach the caller unchanged, however the node protocol would
otherwise fall back; a signal stops a long call soon."""

import gc
import signal
import time

import pytest

import ostrel_formulas
from conftest import WRITERS, N, raising, refusing, tree_calls

SEVERE = [KeyboardInterrupt, SystemExit, GeneratorExit, MemoryError]


class Formulas:
    """A sequence whose iteration raises part way."""

    def __init__(self, error):
        self.error = error

    def __len__(self):
        return 2

    def __getitem__(self, i):
        if i == 1:
            raise self.error("from iteration")
        return "=1"


@pytest.mark.parametrize("function", tree_calls())
@pytest.mark.parametrize("error", SEVERE)
@pytest.mark.parametrize("where", ["id", "is_hidden", "cells", "children", "iterating formula", "iterating cells"])
def test_reading_an_attribute_or_iterating_a_sequence(function, error, where):
    child = N("c", "=1") if where.startswith("iterating") else raising(where, error)("c", "=1")
    if where.startswith("iterating"):
        setattr(child, where.split()[1], Formulas(error))
    root = N("r", "=2", [N("a", "=3"), child])
    with pytest.raises(error, match="from iteration" if where.startswith("iterating") else "from " + where):
        tree_calls()[function](root)
    assert root.value is None and root.children[0].value is None


@pytest.mark.parametrize("function", tree_calls())
def test_a_collection_meanwhile_keeps_the_error(function):
    """The collector, run by any call into the interpreter (on 3.12 each signal check), drops a
    pending exception: no such call is made while the host's exception waits to be raised."""
    thresholds = gc.get_threshold()
    gc.set_threshold(1)  # due at almost every allocation
    try:
        for _ in range(20):
            for _ in range(50):  # cycles with cells for the collector to clear
                cycle = []
                cycle.append(lambda: cycle)
            child = raising("is_hidden", KeyboardInterrupt)("c", "=1")
            with pytest.raises(KeyboardInterrupt, match="from is_hidden"):
                tree_calls()[function](N("r", "=2", [N("a", "=3"), child]))
    finally:
        gc.set_threshold(*thresholds)


@pytest.mark.parametrize("error", SEVERE)
@pytest.mark.parametrize("field", WRITERS)
def test_writing_back(error, field):
    later = N("d", "=3", cells="C3")
    root = N("r", "=2", [refusing(field, error)("c", "=1", cells="B2"), later], cells="A1")
    before = getattr(later, field)
    with pytest.raises(error, match="from writing"):
        WRITERS[field](root, True)
    assert getattr(later, field) == before


@pytest.mark.parametrize("attribute, error", [("id", LookupError), ("is_hidden", ValueError), ("cells", AttributeError)])
def test_ordinary_failures_still_fall_back(attribute, error):
    assert ostrel_formulas.evaluate_tree(N("r", "=2", [raising(attribute, error)("c", "=1")])).value == "2"


@pytest.mark.parametrize("root, message", [(raising("children", RuntimeError)("r", ""), "Missing required attribute"),
                                           (N("r", Formulas(ValueError)), "Attribute 'formula' must be")])
def test_ordinary_failures_of_required_attributes_are_type_errors(root, message):
    with pytest.raises(TypeError, match=message):
        ostrel_formulas.evaluate_tree(root)


SIGNALLED = {
    "evaluate_tree": lambda root: ostrel_formulas.evaluate_tree(root),
    "evaluate_tree in place": lambda root: ostrel_formulas.evaluate_tree(root, in_place=True),
    "expand_tree_formulas": ostrel_formulas.expand_tree_formulas,
    "explain_node": lambda root: ostrel_formulas.explain_node(root, "root"),
    "rename_nodes in place": lambda root: ostrel_formulas.rename_nodes(root, root, in_place=True),
    "export_tree_to_excel": lambda root: ostrel_formulas.export_tree_to_excel(root),
}


@pytest.fixture(scope="module")
def large_plan():
    """3,000 groups of 100 inputs and formulas over them, with cells to export: 303,001 nodes."""
    groups = [N(f"g{g}", "=sum(children)", [
        N(f"i{g}_{k}", "5" if k % 2 == 0 else f"=@i{g}_{k - 1} * 2", id=f"{g}.{k}", cells=f"B{k}") for k in range(100)
    ], id=f"g{g}", cells=f"A{g}") for g in range(3000)]
    return N("root", "=sum(children)", groups, id="root", cells="A1")


@pytest.fixture
def no_gc_callbacks():
    """A signal's exception raised in a collector callback is lost; hypothesis keeps one installed."""
    callbacks = gc.callbacks[:]
    gc.callbacks.clear()
    yield
    gc.callbacks[:] = callbacks


def signalled_call(call, root, delay):
    """A call with a timer signal `delay` s in: (how late it raised KeyboardInterrupt, None) or (None, its time)."""
    start = time.perf_counter()
    signal.setitimer(signal.ITIMER_REAL, delay)
    try:
        try:
            call(root)
        finally:  # a signal that comes as the call ends raises here, still inside the outer try
            signal.setitimer(signal.ITIMER_REAL, 0)
    except KeyboardInterrupt:
        return time.perf_counter() - start - delay, None
    return None, time.perf_counter() - start


@pytest.mark.parametrize("function", SIGNALLED)
def test_a_signal_stops_a_long_call_soon(function, large_plan, no_gc_callbacks):
    """Ctrl-C at any point of a call on 300,000 nodes raises at once. The bound is generous and each
    point gets a second try (the benchmark measures the delay): it catches a phase deaf to signals."""
    call = SIGNALLED[function]
    start = time.perf_counter()
    call(large_plan)
    duration = time.perf_counter() - start
    bound = max(0.5, duration / 4)
    previous = signal.signal(signal.SIGALRM, signal.default_int_handler)
    interrupted = 0
    try:
        for fraction in (0.1, 0.5, 0.9):
            for attempt in range(2):
                late, finished = signalled_call(call, large_plan, duration * fraction)
                # A call quicker than the first may end before the signal comes.
                if (late if late is not None else finished - duration * fraction) < bound:
                    break
            else:
                pytest.fail(f"{late or finished:.3f} s at {fraction:.0%} of {duration:.3f} s: "
                            + ("late" if late is not None else "finished without the signal's exception"))
            interrupted += late is not None
    finally:
        signal.signal(signal.SIGALRM, previous)
    assert interrupted >= 2

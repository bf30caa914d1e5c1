"""The module's surface (functions, signatures, argument binding and its errors), and the collector as host code
and other threads see it."""

import gc
import inspect
import shutil
import subprocess
import threading
from contextlib import nullcontext

import pytest

import ostrel_formulas
from conftest import Boom, N, NoCopy, tree_calls

SIGNATURES = {"evaluate": "(formula)", "evaluate_boolean": "(formula)", "evaluate_tree": "(root, in_place=False)",
              "get_tokens": "(formula)", "rename_nodes": "(old_root, new_root, in_place=False)",
              "expand_tree_formulas": "(root)", "explain_node": "(root, node_id)",
              "export_tree_to_excel": "(root, in_place=False)"}


def test_the_module_holds_its_functions_in_table_order_and_nothing_else():
    assert ostrel_formulas.__all__ == list(SIGNATURES)
    assert ostrel_formulas.__doc__ == ""
    assert sorted(name for name in vars(ostrel_formulas) if not name.startswith("__")) == sorted(SIGNATURES)


@pytest.mark.skipif(shutil.which("nm") is None, reason="needs nm (binutils)")
def test_the_shared_object_exports_its_entry_point_only():
    """Other symbols (template instances among them) could bind to another extension's copies."""
    table = subprocess.run(["nm", "-D", "--defined-only", ostrel_formulas.__file__],
                           capture_output=True, text=True, check=True).stdout
    assert [line.split()[-1] for line in table.splitlines()] == ["PyInit_ostrel_formulas"]


@pytest.mark.parametrize("name", SIGNATURES)
def test_function_carries_its_text_signature_and_no_further_documentation(name):
    function = getattr(ostrel_formulas, name)
    assert (function.__name__, function.__module__, function.__doc__) == (name, "ostrel_formulas", None)
    assert function.__text_signature__ == str(inspect.signature(function)) == SIGNATURES[name]


@pytest.mark.parametrize("name", ["evaluate", "evaluate_boolean", "get_tokens"])
def test_formula_by_position_by_name_or_as_a_str_subclass_and_lone_surrogates(name):
    function = getattr(ostrel_formulas, name)
    assert function("=2*3") == function(formula="=2*3") == function(type("Formula", (str,), {})("=2*3"))
    with pytest.raises(UnicodeEncodeError, match="surrogates not allowed"):
        function("=@{a\ud83d}")


# Each message of the shared binding, spread over the functions; "{}" is the function's name.
@pytest.mark.parametrize("name, args, kwargs, message", [
    ("evaluate", (), {}, "{}() missing required argument 'formula' (pos 1)"),
    ("rename_nodes", (N("a"),), {}, "{}() missing required argument 'new_root' (pos 2)"),
    ("evaluate_boolean", ("=1", "=2"), {}, "{}() takes exactly 1 positional argument (2 given)"),
    ("explain_node", (N("a"), "", 1), {}, "{}() takes exactly 2 positional arguments (3 given)"),
    ("export_tree_to_excel", (N("a"), True, 1), {}, "{}() takes at most 2 positional arguments (3 given)"),
    ("rename_nodes", (N("a"), N("a"), True, 1), {}, "{}() takes at most 3 positional arguments (4 given)"),
    ("get_tokens", (), {"text": "=1"}, "{}() got an unexpected keyword argument 'text'"),
    ("evaluate", ("=1",), {"formula": "=2"}, "argument for {}() given by name ('formula') and position (1)"),
    ("evaluate_tree", (N("a"), True), {"in_place": True},
     "argument for {}() given by name ('in_place') and position (2)"),
    ("evaluate", (None,), {}, "{}() argument 'formula' must be str, not NoneType"),
    ("get_tokens", (b"=1",), {}, "{}() argument 'formula' must be str, not bytes"),
    ("explain_node", (N("a"), b"g"), {}, "{}() argument 'node_id' must be str, not bytes"),
    ("evaluate_tree", (N("a"),), {"in_place": None}, "{}() argument 'in_place' must be bool, not NoneType"),
    ("export_tree_to_excel", (N("a"), 1), {}, "{}() argument 'in_place' must be bool, not int"),
])
def test_argument_errors(name, args, kwargs, message):
    with pytest.raises(TypeError) as raised:
        getattr(ostrel_formulas, name)(*args, **kwargs)
    assert str(raised.value) == message.format(name)


def test_numpy_bools_count_as_bools():
    numpy = pytest.importorskip("numpy")
    root = N("root", "=@a", [N("a", "1", is_hidden=numpy.bool_(True))])
    assert ostrel_formulas.evaluate_tree(root, in_place=numpy.bool_(True)) is root
    assert root.value == "REF!"


# Each tree call on a good tree, and on one it fails for: a copy that raises, a formula or children of a wrong type.
COLLECTOR_CALLS = [(call, lambda: N("r", "=@a", [N("a", "1", id="a")]), None) for call in tree_calls().values()] + [
    (ostrel_formulas.evaluate_tree, lambda: NoCopy("r", ""), Boom),
    (ostrel_formulas.export_tree_to_excel, lambda: NoCopy("r", ""), Boom),
    (tree_calls()["expand_tree_formulas"], lambda: N("r", 5), TypeError),
    (tree_calls()["explain_node"], lambda: N("r", "", ()), TypeError),
    (tree_calls()["rename_nodes (new tree)"], lambda: N("r", None), TypeError),
]


@pytest.mark.parametrize("call, root, error", COLLECTOR_CALLS)
@pytest.mark.parametrize("enabled", [True, False])
def test_tree_calls_leave_the_collector_as_they_found_it(call, root, error, enabled):
    (gc.enable if enabled else gc.disable)()
    try:
        with pytest.raises(error) if error else nullcontext():
            call(root())
        assert gc.isenabled() == enabled
    finally:
        gc.enable()


@pytest.mark.parametrize("name", tree_calls())
def test_host_code_sees_the_collector_as_the_host_left_it(name):
    def host_code(callback):
        """A node whose is_hidden getter runs host code during the call."""
        return type("Host", (N,), {"is_hidden": property(lambda self: callback() or False, lambda self, value: None)})

    seen, watching = [], host_code(lambda: seen.append(gc.isenabled()))
    tree_calls()[name](watching("r", "=@a", [watching("a", "1", id="a")]))
    assert seen and all(seen)
    try:
        tree_calls()[name](host_code(gc.disable)("r", "=1", [N("a", "1", id="a")]))
        assert not gc.isenabled()  # the host's own choice stands
    finally:
        gc.enable()


def test_other_threads_see_the_collector_enabled_during_calls():
    root = N("r", "=sum(children)", [N(f"n{i}", ["1", "=@n0 + 2"]) for i in range(2000)])
    looks, done = [], threading.Event()

    def look():
        while not done.is_set():
            looks.append(gc.isenabled())

    watcher = threading.Thread(target=look)
    watcher.start()
    try:
        for _ in range(20):
            ostrel_formulas.evaluate_tree(root)  # the copy runs host code: threads switch
    finally:
        done.set()
        watcher.join()
    assert looks and all(looks)

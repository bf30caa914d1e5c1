"""The module's surface: functions in order, signatures, argument binding and its errors,
and the collector as host code and other threads see it."""

import gc
import inspect
import shutil
import subprocess
import threading
from contextlib import nullcontext

import pytest

import ostrel_formulas
from conftest import N

SIGNATURES = {
    "evaluate": "(formula)",
    "evaluate_boolean": "(formula)",
    "evaluate_tree": "(root, in_place=False)",
    "get_tokens": "(formula)",
    "rename_nodes": "(old_root, new_root, in_place=False)",
    "expand_tree_formulas": "(root)",
    "explain_node": "(root, node_id)",
    "export_tree_to_excel": "(root, in_place=False)",
}
FORMULA_FUNCTIONS = ["evaluate", "evaluate_boolean", "get_tokens"]


def test_the_module_holds_its_functions_in_table_order_and_nothing_else():
    assert ostrel_formulas.__all__ == list(SIGNATURES)
    assert ostrel_formulas.__doc__ == ""
    assert sorted(name for name in vars(ostrel_formulas) if not name.startswith("__")) == sorted(SIGNATURES)


@pytest.mark.skipif(shutil.which("nm") is None, reason="needs nm (binutils)")
def test_the_shared_object_exports_its_entry_point_only():
    """Other symbols (the C++ library's template instances among them) could bind to
    another extension's copies of the same names, loaded into the same process."""
    table = subprocess.run(["nm", "-D", "--defined-only", ostrel_formulas.__file__],
                           capture_output=True, text=True, check=True).stdout
    assert [line.split()[-1] for line in table.splitlines()] == ["PyInit_ostrel_formulas"]


@pytest.mark.parametrize("name", SIGNATURES)
def test_function_carries_its_text_signature(name):
    function = getattr(ostrel_formulas, name)
    assert (function.__name__, function.__module__) == (name, "ostrel_formulas")
    assert function.__text_signature__ == SIGNATURES[name]
    assert str(inspect.signature(function)) == SIGNATURES[name]
    # Nothing follows the signature block, so there is no further documentation.
    assert function.__doc__ is None


@pytest.mark.parametrize("name", FORMULA_FUNCTIONS)
def test_formula_may_be_given_by_position_by_name_or_as_a_str_subclass(name):
    function = getattr(ostrel_formulas, name)
    assert function("=2*3") == function(formula="=2*3") == function(type("Formula", (str,), {})("=2*3"))


@pytest.mark.parametrize("name", FORMULA_FUNCTIONS)
def test_lone_surrogates_raise_a_unicode_error(name):
    with pytest.raises(UnicodeEncodeError, match="surrogates not allowed"):
        getattr(ostrel_formulas, name)("=@{a\ud83d}")


# Each message of the shared binding, spread over the functions; "{}" is the function's name.
@pytest.mark.parametrize(
    "name, args, kwargs, message",
    [
        ("evaluate", (), {}, "{}() missing required argument 'formula' (pos 1)"),
        ("rename_nodes", (N("a"),), {}, "{}() missing required argument 'new_root' (pos 2)"),
        ("evaluate_boolean", ("=1", "=2"), {}, "{}() takes exactly 1 positional argument (2 given)"),
        ("expand_tree_formulas", (N("a"), True), {}, "{}() takes exactly 1 positional argument (2 given)"),
        ("explain_node", (N("a"), "", 1), {}, "{}() takes exactly 2 positional arguments (3 given)"),
        ("export_tree_to_excel", (N("a"), True, 1), {}, "{}() takes at most 2 positional arguments (3 given)"),
        ("rename_nodes", (N("a"), N("a"), True, 1), {}, "{}() takes at most 3 positional arguments (4 given)"),
        ("get_tokens", (), {"text": "=1"}, "{}() got an unexpected keyword argument 'text'"),
        ("expand_tree_formulas", (N("a"),), {"in_place": True}, "{}() got an unexpected keyword argument 'in_place'"),
        ("evaluate", ("=1",), {"formula": "=2"}, "argument for {}() given by name ('formula') and position (1)"),
        ("evaluate_tree", (N("a"), True), {"in_place": True},
         "argument for {}() given by name ('in_place') and position (2)"),
        ("evaluate", (None,), {}, "{}() argument 'formula' must be str, not NoneType"),
        ("get_tokens", (b"=1",), {}, "{}() argument 'formula' must be str, not bytes"),
        ("evaluate_boolean", (), {"formula": 1.5}, "{}() argument 'formula' must be str, not float"),
        ("explain_node", (N("a"), b"g"), {}, "{}() argument 'node_id' must be str, not bytes"),
        ("evaluate_tree", (N("a"),), {"in_place": None}, "{}() argument 'in_place' must be bool, not NoneType"),
        ("export_tree_to_excel", (N("a"), 1), {}, "{}() argument 'in_place' must be bool, not int"),
        ("rename_nodes", (N("a"), N("a")), {"in_place": 0}, "{}() argument 'in_place' must be bool, not int"),
    ],
)
def test_argument_errors(name, args, kwargs, message):
    with pytest.raises(TypeError) as raised:
        getattr(ostrel_formulas, name)(*args, **kwargs)
    assert str(raised.value) == message.format(name)


def test_numpy_bools_count_as_bools():
    numpy = pytest.importorskip("numpy")
    root = N("root", "=@a", [N("a", "1", is_hidden=numpy.bool_(True))])
    assert ostrel_formulas.evaluate_tree(root, in_place=numpy.bool_(True)) is root
    assert root.value == "REF!"


class NoCopy(N):
    def __deepcopy__(self, memo):
        raise RuntimeError("no copies")


def good():
    return N("r", "=@a", [N("a", "1", id="a")])


TREE_CALLS = [
    ("evaluate_tree", lambda: (good(),), None),
    ("evaluate_tree", lambda: (NoCopy("r", ""),), RuntimeError),
    ("expand_tree_formulas", lambda: (good(),), None),
    ("expand_tree_formulas", lambda: (N("r", 5),), TypeError),
    ("explain_node", lambda: (good(), "a"), None),
    ("explain_node", lambda: (N("r", "", ()), "a"), TypeError),
    ("rename_nodes", lambda: (good(), good()), None),
    ("rename_nodes", lambda: (good(), N("r", None)), TypeError),
    ("export_tree_to_excel", lambda: (good(),), None),
    ("export_tree_to_excel", lambda: (NoCopy("r", ""),), RuntimeError),
]


@pytest.mark.parametrize("name, args, error", TREE_CALLS)
@pytest.mark.parametrize("enabled", [True, False])
def test_tree_calls_leave_the_collector_as_they_found_it(name, args, error, enabled):
    function = getattr(ostrel_formulas, name)
    (gc.enable if enabled else gc.disable)()
    try:
        with pytest.raises(error) if error else nullcontext():
            function(*args())
        assert gc.isenabled() == enabled
    finally:
        gc.enable()



class Watching(N):
    """A node whose formula getter runs host code during the call."""

    seen = []

    @property
    def formula(self):
        Watching.seen.append(gc.isenabled())
        return self._formula

    @formula.setter
    def formula(self, value):
        self._formula = value


@pytest.mark.parametrize("name", sorted({name for name, _, error in TREE_CALLS if error is None}))
def test_host_code_sees_the_collector_as_the_host_left_it(name):
    function = getattr(ostrel_formulas, name)
    args = {"explain_node": lambda root: (root, "a"), "rename_nodes": lambda root: (root, root)}
    root = Watching("r", "=@a", [Watching("a", "1", id="a")])
    Watching.seen = []
    function(*args.get(name, lambda root: (root,))(root))
    assert Watching.seen and all(Watching.seen)

    class Disabling(N):
        @property
        def is_hidden(self):
            gc.disable()
            return False

        @is_hidden.setter
        def is_hidden(self, value):
            pass

    try:
        function(*args.get(name, lambda root: (root,))(Disabling("r", "=1", [N("a", "1", id="a")])))
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

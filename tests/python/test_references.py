"""Reference counts and memory stay flat over many calls, successful and failing."""

import gc
import sys
import tracemalloc

import pytest

import ostrel_formulas

CALLS = 20_000

CASES = [
    ("evaluate", ("=round(@a; 2) + sum(1; 2; 3) * 15%",), {}),
    ("evaluate", ("=(1",), {}),
    ("evaluate", (), {"formula": "=1/0"}),
    ("evaluate_boolean", ("1 > 0 and not 2 < 1",), {}),
    ("evaluate_boolean", ("@a > 1",), {}),
    ("get_tokens", ("=if(@a > 1; @{b c}[2]; 3) # x",), {}),
    ("get_tokens", ("",), {}),
    # Each kind of TypeError.
    ("evaluate", (), {}),
    ("evaluate", ("=1", "=2"), {}),
    ("evaluate", (), {"other": "=1"}),
    ("evaluate", ("=1",), {"formula": "=1"}),
    ("evaluate_boolean", (b"1",), {}),
    ("get_tokens", (None,), {}),
    ("get_tokens", ("\ud800",), {}),
]


@pytest.mark.parametrize("name, args, kwargs", CASES)
def test_repeated_calls_leak_nothing(name, args, kwargs):
    function = getattr(ostrel_formulas, name)

    def call():
        try:
            function(*args, **kwargs)
        except (TypeError, UnicodeEncodeError):
            pass

    for _ in range(100):
        call()
    gc.collect()
    counts = [sys.getrefcount(a) for a in args] + [sys.getrefcount(v) for v in kwargs.values()]
    tracemalloc.start()
    before = tracemalloc.get_traced_memory()[0]
    for _ in range(CALLS):
        call()
    gc.collect()
    grown = tracemalloc.get_traced_memory()[0] - before
    tracemalloc.stop()
    assert counts == [sys.getrefcount(a) for a in args] + [sys.getrefcount(v) for v in kwargs.values()]
    # A single leaked object per call would add at least 16 bytes per call.
    assert grown < CALLS

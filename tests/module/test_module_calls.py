"""Whole calls of the eight public functions through the call entry: result kinds, fresh result
objects, keyword and positional passing, NumPy arrays against lists, and the raising of error
values and internal failures. The values themselves are checked by the model tests; here a
call is compared with another call of the same function that must give the same bits."""

import gc
import math
import struct
import sys

import numpy as np
import obrivane
import pytest

SEPARATIONS = [0.0, 0.5, 2.0, 7.25]
TABLE = {"bl": [0.0, 0.5, 1.0], "bf": [1.0, 0.8, 0.4]}

CALLS = [
    ("witt_mao_magnification", {"l": SEPARATIONS, "re": 1.5, "rstar": 0.5}),
    ("integrated_witt_mao_magnification", {"l": SEPARATIONS, "re": 1.5, "rstar": 0.5}),
    (
        "integrated_flux_map_witt_mao_magnification",
        {"l": SEPARATIONS, "re": 1.5, "rstar": 0.5, **TABLE},
    ),
    ("multi_witt_mao_magnification", {"l": SEPARATIONS, "re": [1.0, 2.0], "rstar": [0.1, 0.2]}),
    ("heyrovsky_magnification", {"l": 2.0, "r": 0.5, "re": 1.5, "rstar": 0.5}),
    ("integrated_heyrovsky_magnification", {"l": SEPARATIONS[1:], "re": 1.5, "rstar": 0.5}),
    (
        "integrated_flux_map_heyrovsky_magnification",
        {"l": SEPARATIONS[1:], "re": 1.5, "rstar": 0.5, **TABLE},
    ),
    (
        "discrete_flux_map_heyrovsky_magnification",
        {"l": SEPARATIONS[1:], "re": 1.5, "rstar": 0.5, **TABLE},
    ),
]
IDS = [name for name, _ in CALLS]


def bits(result):
    if isinstance(result, float):
        return struct.pack("<d", result)
    return [bits(item) for item in result]


def positional(name, arguments):
    function = getattr(obrivane, name)
    return function(*arguments.values())


@pytest.mark.parametrize(("name", "arguments"), CALLS, ids=IDS)
def test_result_kind_and_fresh_objects(name, arguments):
    first = positional(name, arguments)
    second = positional(name, arguments)
    assert bits(first) == bits(second)
    assert first is not second
    if name == "heyrovsky_magnification":
        assert type(first) is float
        return
    assert type(first) is list
    if name == "multi_witt_mao_magnification":
        assert len(first) == len(arguments["re"]) * len(arguments["rstar"])
        assert all(type(row) is list and len(row) == len(arguments["l"]) for row in first)
        assert all(type(value) is float for row in first for value in row)
        assert first[0] is not second[0]
    else:
        assert len(first) == len(arguments["l"])
        assert all(type(value) is float for value in first)
    assert first is not arguments["l"]


@pytest.mark.parametrize(("name", "arguments"), CALLS, ids=IDS)
def test_keywords_in_any_order_give_the_positional_result(name, arguments):
    function = getattr(obrivane, name)
    expected = bits(positional(name, arguments))
    assert bits(function(**arguments)) == expected
    assert bits(function(**dict(reversed(arguments.items())))) == expected
    first, *rest = arguments
    assert bits(function(arguments[first], **{key: arguments[key] for key in rest})) == expected


@pytest.mark.parametrize(("name", "arguments"), CALLS, ids=IDS)
def test_arrays_and_tuples_give_the_list_result(name, arguments):
    function = getattr(obrivane, name)
    expected = bits(function(**arguments))
    as_arrays = {
        key: np.array(value) if isinstance(value, list) else value
        for key, value in arguments.items()
    }
    as_strided = {
        key: np.repeat(np.array(value), 2)[::2] if isinstance(value, list) else value
        for key, value in arguments.items()
    }
    as_tuples = {
        key: tuple(value) if isinstance(value, list) else value for key, value in arguments.items()
    }
    assert bits(function(**as_arrays)) == expected
    assert bits(function(**as_strided)) == expected
    assert bits(function(**as_tuples)) == expected


class MinusOne:
    def __float__(self):
        return -1.0


@pytest.mark.parametrize("minus_one", [-1.0, -1, MinusOne()], ids=["float", "int", "__float__"])
def test_minus_one_is_a_value_not_a_failure(minus_one):
    # Every spelling of -1 reaches the model as the value -1.0, not as a conversion failure, and a
    # negative radius describes no source: every element is NaN.
    values = obrivane.witt_mao_magnification(SEPARATIONS, minus_one, minus_one)
    assert len(values) == len(SEPARATIONS) and all(math.isnan(v) for v in values)
    assert bits(values) == bits(obrivane.witt_mao_magnification(SEPARATIONS, -1.0, -1.0))
    # A negative radius has no meaning: the ring's answer is NaN, not an exception.
    assert math.isnan(obrivane.heyrovsky_magnification(2.0, 0.5, minus_one, minus_one))


def test_empty_sequences_give_new_empty_lists():
    empty = []
    result = obrivane.witt_mao_magnification(empty, 1.0, 1.0)
    assert result == [] and result is not empty
    assert obrivane.multi_witt_mao_magnification([1.0], [], [1.0]) == []
    assert obrivane.multi_witt_mao_magnification([], [1.0, 2.0], [1.0]) == [[], []]


@pytest.mark.parametrize(
    "name",
    [
        "integrated_flux_map_witt_mao_magnification",
        "integrated_flux_map_heyrovsky_magnification",
        "discrete_flux_map_heyrovsky_magnification",
    ],
)
def test_internal_failure_of_a_model_is_raised_as_panic_exception(name, capfd):
    function = getattr(obrivane, name)

    def guarded():
        try:
            function([], 1.0, 1.0, [0.1, 0.2, 0.3], [1.0, 0.5])
        except Exception:  # noqa: BLE001 - must not catch it
            return "caught by a handler for Exception"

    with pytest.raises(BaseException) as raised:
        guarded()
    assert type(raised.value).__name__ == "PanicException"
    assert raised.value.args == ("assertion `left == right` failed\n  left: 3\n right: 2",)
    assert "left: 3" in capfd.readouterr().err
    # All five arguments are converted before the check: a bad bf element is reported first.
    with pytest.raises(TypeError) as refused:
        function([], 1.0, 1.0, [0.1, 0.2, 0.3], [1.0, "x"])
    assert str(refused.value).startswith("argument 'bf': ")


@pytest.mark.parametrize(("name", "arguments"), CALLS, ids=IDS)
def test_reference_counts_unchanged_by_many_calls(name, arguments):
    function = getattr(obrivane, name)
    watched = [value for value in arguments.values()]
    watched += [item for value in arguments.values() if isinstance(value, list) for item in value]
    function(**arguments)
    gc.collect()
    before = [sys.getrefcount(value) for value in watched]
    for _ in range(200):
        function(**arguments)
        function(*arguments.values())
    gc.collect()
    assert [sys.getrefcount(value) for value in watched] == before

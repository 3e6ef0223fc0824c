"""Conversion of arguments (float rule, sequence rule, the buffer fast path) and of results, and
the renaming of a conversion failure after its parameter. The interpreter's own messages are
taken from math.sqrt, which refuses the same objects through the same C API call."""

import array
import math
import struct
import sys

import obrivane
import pytest

np = pytest.importorskip("numpy")

W = obrivane.witt_mao_magnification


def interpreter_refusal(value):
    """The exception the interpreter raises when it refuses value as a float."""
    try:
        math.sqrt(value)
    except Exception as refusal:  # noqa: BLE001 - whatever it is, it is the reference
        return refusal
    raise AssertionError(f"{value!r} was accepted as a float")


def iteration_refusal(value):
    """The exception of iterating over value and converting each item to a float."""
    try:
        for item in value:
            math.copysign(item, 1.0)
    except Exception as refusal:  # noqa: BLE001 - whatever it is, it is the reference
        return refusal
    raise AssertionError(f"{value!r} was accepted as a sequence of floats")


def bits(values):
    return [struct.pack("<d", value) for value in values]


# --- Float rule -----------------------------------------------------------------------------


class WithFloat:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class WithIndex:
    def __index__(self):
        return 7


class FloatSubclass(float):
    pass


@pytest.mark.parametrize(
    ("argument", "expected"),
    [
        (2.5, 2.5),
        (-1.0, -1.0),
        (-1, -1.0),
        (True, 1.0),
        (3, 3.0),
        (2**53 + 1, float(2**53 + 1)),
        (FloatSubclass(0.1), 0.1),
        (WithFloat(-1.0), -1.0),
        (WithFloat(1e300), 1e300),
        (WithIndex(), 7.0),
        (-0.0, -0.0),
        (math.inf, math.inf),
    ],
)
def test_float_rule_accepts_what_the_interpreter_accepts(testing_module, argument, expected):
    result = testing_module.echo_float(argument)
    assert type(result) is float
    assert bits([result]) == bits([expected])


def test_float_rule_keeps_nan_payload_and_sign(testing_module):
    nan = struct.unpack("<d", struct.pack("<Q", 0xFFF4000000000001))[0]
    assert bits([testing_module.echo_float(nan)]) == bits([nan])


@pytest.mark.parametrize(
    "argument",
    ["1.0", None, [1.0], 1j, b"1", WithFloat("not a float")],
    ids=["str", "None", "list", "complex", "bytes", "__float__ returning str"],
)
def test_float_rule_refusal_is_named_after_the_parameter(argument):
    refusal = interpreter_refusal(argument)
    assert type(refusal) is TypeError
    with pytest.raises(TypeError) as raised:
        W([1.0], argument, 1.0)
    assert type(raised.value) is TypeError
    assert str(raised.value) == f"argument 're': {refusal}"
    with pytest.raises(TypeError) as raised:
        obrivane.heyrovsky_magnification(1.0, 1.0, 1.0, argument)
    assert str(raised.value) == f"argument 'rstar': {refusal}"


def test_integer_too_large_raises_overflow_error_unchanged():
    with pytest.raises(OverflowError) as raised:
        W([1.0], 10**400, 1.0)
    assert type(raised.value) is OverflowError
    assert str(raised.value) == str(interpreter_refusal(10**400))
    assert not str(raised.value).startswith("argument")


def test_error_of_another_type_is_the_very_same_exception_object():
    failure = ValueError("from __float__")

    class Failing:
        def __float__(self):
            raise failure

    with pytest.raises(ValueError) as raised:
        W([1.0], Failing(), 1.0)
    assert raised.value is failure


def test_type_error_subclass_is_not_renamed():
    class SpecialTypeError(TypeError):
        pass

    failure = SpecialTypeError("special")

    class Failing:
        def __float__(self):
            raise failure

    with pytest.raises(SpecialTypeError) as raised:
        W([1.0], 1.0, Failing())
    assert raised.value is failure
    assert str(raised.value) == "special"


def test_renamed_type_error_keeps_the_cause_and_drops_the_original():
    root = ValueError("root cause")
    seen = []

    class Failing:
        def __float__(self):
            try:
                raise TypeError("inner text") from root
            except TypeError as inner:
                seen.append(inner)
                raise

    with pytest.raises(TypeError) as raised:
        W([1.0], Failing(), 1.0)
    renamed = raised.value
    assert str(renamed) == "argument 're': inner text"
    assert renamed.args == ("argument 're': inner text",)
    assert renamed is not seen[0]
    assert renamed.__cause__ is root
    assert renamed.__context__ is None
    assert renamed.__suppress_context__ is True


def test_renamed_type_error_without_cause_has_none():
    class Failing:
        def __float__(self):
            raise TypeError("plain")

    with pytest.raises(TypeError) as raised:
        W([1.0], Failing(), 1.0)
    assert str(raised.value) == "argument 're': plain"
    assert raised.value.__cause__ is None
    assert raised.value.__suppress_context__ is True


def test_unprintable_type_error_is_reported_as_unraisable(monkeypatch):
    class Unprintable:
        def __str__(self):
            raise RuntimeError("no text")

    class Failing:
        def __float__(self):
            raise TypeError(Unprintable())

    reports = []
    monkeypatch.setattr(sys, "unraisablehook", reports.append)
    with pytest.raises(TypeError) as raised:
        W([1.0], Failing(), 1.0)
    assert str(raised.value) == "argument 're': <unprintable TypeError object>"
    assert len(reports) == 1
    assert type(reports[0].exc_value) is RuntimeError


# --- Sequence rule --------------------------------------------------------------------------


def generator():
    yield 1.0


class Outer:
    class Inner:
        pass


class StrSubclass(str):
    pass


@pytest.mark.parametrize(
    ("argument", "text"),
    [
        ("1.0", "Can't extract `str` to `Vec`"),
        ("", "Can't extract `str` to `Vec`"),
        (StrSubclass("12"), "Can't extract `str` to `Vec`"),
        (5.0, "'float' object cannot be cast as 'Sequence'"),
        ({1: 1.0}, "'dict' object cannot be cast as 'Sequence'"),
        ({1.0}, "'set' object cannot be cast as 'Sequence'"),
        (generator(), "'generator' object cannot be cast as 'Sequence'"),
        (None, "'NoneType' object cannot be cast as 'Sequence'"),
        (Outer.Inner(), "'Outer.Inner' object cannot be cast as 'Sequence'"),
        (iter([1.0]), "'list_iterator' object cannot be cast as 'Sequence'"),
    ],
)
def test_sequence_rule_refusals(argument, text):
    with pytest.raises(TypeError) as raised:
        W(argument, 1.0, 1.0)
    assert type(raised.value) is TypeError
    assert str(raised.value) == f"argument 'l': {text}"
    assert raised.value.__cause__ is None


@pytest.mark.parametrize("parameter", ["bl", "bf"])
def test_sequence_refusal_names_table_parameters(parameter):
    arguments = {"l": [1.0], "re": 1.0, "rstar": 1.0, "bl": [0.5], "bf": [1.0], parameter: 2.0}
    with pytest.raises(TypeError) as raised:
        obrivane.integrated_flux_map_witt_mao_magnification(**arguments)
    assert (
        str(raised.value) == f"argument '{parameter}': 'float' object cannot be cast as 'Sequence'"
    )


def test_multi_takes_three_sequences():
    with pytest.raises(TypeError) as raised:
        obrivane.multi_witt_mao_magnification([1.0], 1.0, 1.0)
    assert str(raised.value) == "argument 're': 'float' object cannot be cast as 'Sequence'"
    with pytest.raises(TypeError) as raised:
        obrivane.multi_witt_mao_magnification([1.0], [1.0], 1.0)
    assert str(raised.value) == "argument 'rstar': 'float' object cannot be cast as 'Sequence'"


@pytest.mark.parametrize(
    ("argument", "expected"),
    [
        ([], []),
        ((), []),
        ([1, True, 2.5], [1.0, 1.0, 2.5]),
        ((0.5, -1.0), [0.5, -1.0]),
        (range(3), [0.0, 1.0, 2.0]),
        (b"\x01\x02", [1.0, 2.0]),
        (bytearray(b"\x07"), [7.0]),
        ([WithFloat(-1.0), WithIndex()], [-1.0, 7.0]),
        (array.array("i", [1, -2]), [1.0, -2.0]),
    ],
    ids=[
        "empty list",
        "empty tuple",
        "mixed list",
        "tuple",
        "range",
        "bytes",
        "bytearray",
        "objects",
        "int array",
    ],
)
def test_sequence_rule_accepts_sequences(testing_module, argument, expected):
    result = testing_module.echo_vector(argument)
    assert type(result) is list
    assert all(type(item) is float for item in result)
    assert result == expected


class ReportedSize:
    """A sequence whose __len__ reports whatever it is told (or fails)."""

    def __init__(self, items, size):
        self.items = items
        self.size = size

    def __len__(self):
        if isinstance(self.size, BaseException):
            raise self.size
        return self.size

    def __getitem__(self, index):
        return self.items[index]

    def __iter__(self):
        return iter(self.items)


@pytest.mark.parametrize(
    "size",
    [0, 1, 3, 1000, 2**59, 2**60 - 1, ValueError("no length"), TypeError("no length"), -1],
    ids=[
        "zero",
        "one",
        "exact",
        "too many",
        "2**59",
        "2**60-1",
        "ValueError",
        "TypeError",
        "negative",
    ],
)
def test_reported_size_is_only_a_hint(testing_module, size):
    items = [float(i) for i in range(7)]
    assert testing_module.echo_vector(ReportedSize(items, size)) == items
    # Nothing stays pending after a failing __len__.
    assert testing_module.echo_float(1.0) == 1.0


def test_reported_size_of_2_to_the_60_is_capacity_overflow():
    with pytest.raises(BaseException) as raised:
        W(ReportedSize([1.0], 2**60), 1.0, 1.0)
    assert type(raised.value).__name__ == "PanicException"
    assert raised.value.args == ("capacity overflow",)


def test_element_refusal_is_named_after_the_sequence():
    refusal = interpreter_refusal("a")
    with pytest.raises(TypeError) as raised:
        W([1.0, "a"], 1.0, 1.0)
    assert str(raised.value) == f"argument 'l': {refusal}"
    with pytest.raises(TypeError) as raised:
        obrivane.discrete_flux_map_heyrovsky_magnification([1.0], 1.0, 1.0, [0.5], [None])
    assert str(raised.value) == f"argument 'bf': {interpreter_refusal(None)}"


def test_element_overflow_is_raised_unchanged():
    with pytest.raises(OverflowError):
        W([1.0, 10**400], 1.0, 1.0)


class IterationFails:
    def __init__(self, failure, after):
        self.failure = failure
        self.after = after

    def __len__(self):
        return 3

    def __getitem__(self, index):
        return 1.0

    def __iter__(self):
        yield from [1.0] * self.after
        raise self.failure


def test_iteration_failures():
    with pytest.raises(TypeError) as raised:
        W(IterationFails(TypeError("broken iteration"), 2), 1.0, 1.0)
    assert str(raised.value) == "argument 'l': broken iteration"
    failure = KeyError("mid-way")
    with pytest.raises(KeyError) as raised:
        W(IterationFails(failure, 1), 1.0, 1.0)
    assert raised.value is failure


def test_iter_refusing_the_object():
    class NotIterable:
        def __getitem__(self, index):
            return 1.0

        __iter__ = None

    with pytest.raises(TypeError) as raised:
        W(NotIterable(), 1.0, 1.0)
    try:
        iter(NotIterable())
    except TypeError as refusal:
        expected = str(refusal)
    assert str(raised.value) == f"argument 'l': {expected}"


def test_first_failing_parameter_only_and_operation_not_called(testing_module):
    calls = testing_module.probe_calls()
    with pytest.raises(TypeError) as raised:
        testing_module.conversion_probe("bad", "also bad")
    assert str(raised.value) == "argument 'l': Can't extract `str` to `Vec`"
    with pytest.raises(TypeError) as raised:
        testing_module.conversion_probe([1.0], "bad")
    assert str(raised.value).startswith("argument 're': ")
    assert testing_module.probe_calls() == calls
    assert testing_module.conversion_probe([1.0], 2.0) == [1.0, 2.0]
    assert testing_module.probe_calls() == calls + 1
    # The same order in the module's own functions.
    with pytest.raises(TypeError) as raised:
        W(["a"], "b", None)
    assert str(raised.value).startswith("argument 'l': ")


def test_later_parameters_are_not_looked_at():
    class Watched:
        touched = False

        def __float__(self):
            Watched.touched = True
            return 1.0

    with pytest.raises(TypeError):
        W("bad", Watched(), Watched())
    assert not Watched.touched


# --- The buffer fast path -------------------------------------------------------------------


def special_values():
    subnormal = 5e-324
    nan = struct.unpack("<d", struct.pack("<Q", 0x7FF0000000000123))[0]
    return np.array([0.0, -0.0, 1.5, -2.25, math.inf, -math.inf, nan, subnormal, 1e308, -1e-300])


def read_only(values):
    values = values.copy()
    values.setflags(write=False)
    return values


def as_python_list(values):
    """The same elements as a list of Python floats (which takes the iteration path)."""
    return [float(value) for value in values]


@pytest.mark.parametrize(
    "make",
    [
        lambda a: a,
        lambda a: a[::2],
        lambda a: a[::-1],
        lambda a: a[1:-1:3],
        lambda a: np.stack([a, a]).T[:, 1],
        lambda a: a[:0],
        lambda a: a.astype(np.dtype("<f8")),
        lambda a: memoryview(a),
        lambda a: memoryview(a)[::-2],
        lambda a: array.array("d", a.tolist()),
        lambda a: np.asfortranarray(a),
        lambda a: read_only(a),
    ],
    ids=[
        "contiguous",
        "step 2",
        "reversed",
        "sliced",
        "column of 2-d",
        "empty",
        "little-endian",
        "memoryview",
        "strided memoryview",
        "array.array",
        "fortran",
        "read-only",
    ],
)
def test_float64_buffers_give_the_iteration_values(testing_module, make):
    source = make(special_values())
    reference = testing_module.echo_vector(as_python_list(source))
    direct = testing_module.echo_vector(source)
    assert bits(direct) == bits(reference)
    assert bits(direct) == bits(as_python_list(source))


class IteratesDifferently(np.ndarray):
    def __iter__(self):
        return iter([42.0])


@pytest.mark.parametrize(
    ("make", "expected"),
    [
        (lambda: np.array([1.5, 2.5], dtype=np.float32), [1.5, 2.5]),
        (lambda: np.array([1, -2], dtype=np.int64), [1.0, -2.0]),
        (lambda: np.array([1.5, 2.5], dtype=">f8"), [1.5, 2.5]),
        (lambda: np.array([1.5, None], dtype=object)[:1], [1.5]),
        (lambda: memoryview(b"\x01\x02"), [1.0, 2.0]),
        (lambda: np.array([0.25, 0.5]).view(IteratesDifferently), [42.0]),
        (lambda: np.array([True, False]), [1.0, 0.0]),
        (lambda: array.array("f", [0.5]), [0.5]),
    ],
    ids=[
        "float32",
        "int64",
        "big-endian",
        "object",
        "byte memoryview",
        "subclass",
        "bool",
        "float32 array.array",
    ],
)
def test_other_arrays_take_the_iteration_path(testing_module, make, expected):
    assert testing_module.echo_vector(make()) == expected


@pytest.mark.parametrize(
    "make",
    [
        lambda: np.array(1.0),
        lambda: np.ones((2, 2)),
        lambda: np.array(["a", "b"]),
        lambda: np.array([None]),
        lambda: memoryview(np.ones((2, 2))),
    ],
    ids=["0-d", "2-d", "str dtype", "object None", "2-d memoryview"],
)
def test_arrays_refused_by_iteration_keep_the_interpreter_messages(make):
    value = make()
    expected = iteration_refusal(value)
    with pytest.raises(type(expected)) as raised:
        W(value, 1.0, 1.0)
    if type(expected) is TypeError:
        assert str(raised.value) == f"argument 'l': {expected}"
    else:
        assert str(raised.value) == str(expected)


def test_numpy_arrays_as_table_and_batch_arguments(testing_module):
    values = np.linspace(0.0, 1.0, 11)
    assert testing_module.echo_rows(values, values[::-1]) == [
        as_python_list(values),
        as_python_list(values[::-1]),
    ]


# --- Results --------------------------------------------------------------------------------


def test_every_call_returns_new_objects(testing_module):
    argument = [1.0, 2.0]
    first = testing_module.echo_vector(argument)
    second = testing_module.echo_vector(argument)
    assert first == second == argument
    assert first is not second and first is not argument
    x = 12345.5
    assert testing_module.echo_float(x) == x
    assert testing_module.echo_float(x) is not x
    rows = testing_module.echo_rows([1.0], [])
    assert rows == [[1.0], []]
    assert all(type(row) is list for row in rows)


def test_model_results_of_each_kind(testing_module):
    assert testing_module.elliptic_value(0.75) == 0.75
    assert testing_module.model_vector((1, 2)) == [1.0, 2.0]
    with pytest.raises(RuntimeError) as raised:
        testing_module.model_error(1.0)
    assert type(raised.value) is RuntimeError
    assert raised.value.args == ("ellippi: n cannot be 1.",)
    with pytest.raises(RuntimeError) as raised:
        testing_module.elliptic_failure(1.0)
    assert raised.value.args == ("ellipk: m must be less than 1.",)

"""Argument matching: positional and keyword arguments against each function's parameter table,
with the exact TypeError of every mismatch. Every case here fails before any model runs."""

import inspect
import re

import obrivane
import pytest

W = obrivane.witt_mao_magnification
H = obrivane.heyrovsky_magnification


def message_of(call):
    with pytest.raises(TypeError) as raised:
        call()
    assert type(raised.value) is TypeError
    return str(raised.value)


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (
            lambda: W(),
            "witt_mao_magnification() missing 3 required positional arguments: "
            "'l', 're', and 'rstar'",
        ),
        (
            lambda: H(),
            "heyrovsky_magnification() missing 4 required positional arguments: "
            "'l', 'r', 're', and 'rstar'",
        ),
        (
            lambda: obrivane.discrete_flux_map_heyrovsky_magnification(),
            "discrete_flux_map_heyrovsky_magnification() missing 5 required positional "
            "arguments: 'l', 're', 'rstar', 'bl', and 'bf'",
        ),
        (
            lambda: W([1.0]),
            "witt_mao_magnification() missing 2 required positional arguments: 're' and 'rstar'",
        ),
        (
            lambda: W(re=1.0),
            "witt_mao_magnification() missing 2 required positional arguments: 'l' and 'rstar'",
        ),
        (
            lambda: W([1.0], 1.0),
            "witt_mao_magnification() missing 1 required positional argument: 'rstar'",
        ),
        (
            lambda: W(rstar=1.0, l=[1.0]),
            "witt_mao_magnification() missing 1 required positional argument: 're'",
        ),
        (
            lambda: H(1.0, rstar=1.0),
            "heyrovsky_magnification() missing 2 required positional arguments: 'r' and 're'",
        ),
        (
            lambda: W([1.0], 1.0, 1.0, 1.0),
            "witt_mao_magnification() takes 3 positional arguments but 4 were given",
        ),
        (
            lambda: W([1.0], 1.0, 1.0, 1.0, x=2.0),
            "witt_mao_magnification() takes 3 positional arguments but 4 were given",
        ),
        (
            lambda: H(1.0, 1.0, 1.0, 1.0, 1.0, 1.0),
            "heyrovsky_magnification() takes 4 positional arguments but 6 were given",
        ),
        (
            lambda: W([1.0], x=2.0),
            "witt_mao_magnification() got an unexpected keyword argument 'x'",
        ),
        (
            lambda: W([1.0], L=[2.0], re=1.0, rstar=1.0),
            "witt_mao_magnification() got an unexpected keyword argument 'L'",
        ),
        (
            lambda: W([1.0], 1.0, 1.0, l=[1.0]),
            "witt_mao_magnification() got multiple values for argument 'l'",
        ),
        (
            lambda: W([1.0], rstar=1.0, l=[2.0], bogus=0),
            "witt_mao_magnification() got multiple values for argument 'l'",
        ),
        (
            # Keywords are checked in the order given: the unknown one comes first here.
            lambda: W([1.0], bogus=0, l=[2.0]),
            "witt_mao_magnification() got an unexpected keyword argument 'bogus'",
        ),
        (
            lambda: W(**{"\udc80": 1.0}),
            "witt_mao_magnification() got an unexpected keyword argument '\udc80'",
        ),
        (
            lambda: W(**{"rë": 1.0}),
            "witt_mao_magnification() got an unexpected keyword argument 'rë'",
        ),
    ],
)
def test_argument_mismatch_messages(call, message):
    assert message_of(call) == message


def test_keyword_names_compare_by_their_text():
    class Keyword(str):
        def __str__(self):
            return "shown differently"

    # A str subclass naming a parameter matches it; the conversion of that parameter then fails.
    assert message_of(lambda: W(**{Keyword("l"): "text", "re": 1.0, "rstar": 1.0})) == (
        "argument 'l': Can't extract `str` to `Vec`"
    )
    # An unknown one is reported with its str().
    assert message_of(lambda: W([1.0], **{Keyword("nope"): 1.0})) == (
        "witt_mao_magnification() got an unexpected keyword argument 'shown differently'"
    )


@pytest.mark.parametrize(
    "arguments",
    [
        {"l": [1.0, 2.0], "re": 3.0, "rstar": 4.0},
        {"rstar": 4.0, "re": 3.0, "l": [1.0, 2.0]},
        {"re": 3.0, "l": [1.0, 2.0], "rstar": 4.0},
    ],
)
def test_all_parameters_may_be_passed_by_keyword_in_any_order(testing_module, arguments):
    probe = testing_module.conversion_probe
    assert probe(l=arguments["l"], re=arguments["re"]) == [1.0, 2.0, 3.0]
    assert probe(re=arguments["re"], l=arguments["l"]) == [1.0, 2.0, 3.0]
    assert probe(arguments["l"], re=arguments["re"]) == [1.0, 2.0, 3.0]
    # Conversion runs in parameter order whatever order the keywords came in: l is refused
    # first even when it is passed last.
    refused = {name: "text" for name in arguments}
    assert message_of(lambda: W(**refused)) == "argument 'l': Can't extract `str` to `Vec`"


def test_keyword_arguments_reach_the_right_parameters(testing_module):
    assert testing_module.echo_rows(second=[2.0], first=[1.0]) == [[1.0], [2.0]]
    assert testing_module.echo_rows([1.0], second=[2.0]) == [[1.0], [2.0]]


def test_function_without_parameters(testing_module):
    before = testing_module.probe_calls()
    assert message_of(lambda: testing_module.probe_calls(1.0)) == (
        "probe_calls() takes 0 positional arguments but 1 was given"
    )
    assert message_of(lambda: testing_module.probe_calls(x=1.0)) == (
        "probe_calls() got an unexpected keyword argument 'x'"
    )
    assert testing_module.probe_calls() == before


BOUNDARY_TESTING_FUNCTIONS = [
    "echo_float",
    "echo_vector",
    "vector_length",
    "echo_rows",
    "conversion_probe",
    "model_error",
    "model_vector",
    "elliptic_failure",
    "elliptic_value",
    "internal_failure",
    "unexpected_exception",
]


def reported_parameters(function):
    """The parameter names as the argument matching reports them when all are missing."""
    message = message_of(function)
    match = re.fullmatch(r"(\w+)\(\) missing \d+ required positional arguments?: (.*)", message)
    assert match and match.group(1) == function.__name__, message
    return re.findall(r"'(\w+)'", match.group(2))


@pytest.mark.parametrize("name", [name for name in obrivane.__all__])
def test_text_signature_agrees_with_the_parameter_table(name):
    function = getattr(obrivane, name)
    assert reported_parameters(function) == list(inspect.signature(function).parameters)


@pytest.mark.parametrize("name", BOUNDARY_TESTING_FUNCTIONS)
def test_text_signature_agrees_with_the_parameter_table_in_testing_module(testing_module, name):
    function = getattr(testing_module, name)
    assert reported_parameters(function) == list(inspect.signature(function).parameters)

"""The shipped type stubs describe the module as it is: the same functions in the same order,
the same parameters, and the result types the functions return."""

import ast
import inspect
import pathlib

import obrivane
import pytest

STUBS = pathlib.Path(__file__).resolve().parents[2] / "stubs" / "obrivane-stubs" / "__init__.pyi"

RESULTS = {
    "float": float,
    "list[float]": list,
    "list[list[float]]": list,
}


def stub_functions() -> dict[str, ast.FunctionDef]:
    tree = ast.parse(STUBS.read_text())
    return {node.name: node for node in tree.body if isinstance(node, ast.FunctionDef)}


def test_stubs_list_the_module_functions_in_order():
    assert list(stub_functions()) == obrivane.__all__


@pytest.mark.parametrize("name", obrivane.__all__)
def test_stub_parameters_match_the_text_signature(name):
    stub = stub_functions()[name]
    parameters = [argument.arg for argument in stub.args.args]
    assert parameters == list(inspect.signature(getattr(obrivane, name)).parameters)
    assert not stub.args.defaults and not stub.args.kwonlyargs and stub.args.vararg is None


@pytest.mark.parametrize("name", obrivane.__all__)
def test_stub_types_match_what_the_function_accepts_and_returns(name):
    stub = stub_functions()[name]
    annotations = {a.arg: ast.unparse(a.annotation) for a in stub.args.args}
    function = getattr(obrivane, name)
    arguments = {
        parameter: ([0.5, 2.0] if kind == "_RealSequence" else 1.0)
        for parameter, kind in annotations.items()
    }
    if "bl" in arguments:
        arguments["bl"], arguments["bf"] = [0.0, 1.0], [1.0, 1.0]
    result = function(**arguments)
    returned = ast.unparse(stub.returns)
    assert type(result) is RESULTS[returned]
    if returned == "list[float]":
        assert all(type(value) is float for value in result)
    if returned == "list[list[float]]":
        assert all(type(value) is float for row in result for value in row)
    # A sequence where the stub says scalar, or a scalar where it says sequence, is refused.
    for parameter, kind in annotations.items():
        wrong = 1.0 if kind == "_RealSequence" else [1.0]
        with pytest.raises(TypeError, match=f"argument '{parameter}'"):
            function(**dict(arguments, **{parameter: wrong}))


FSPL_STUBS = STUBS.parent / "fspl.pyi"


def test_fspl_stubs_declare_each_ufunc_with_its_number_of_inputs():
    from obrivane import fspl

    tree = ast.parse(FSPL_STUBS.read_text())
    declared = {
        node.target.id: ast.unparse(node.annotation)
        for node in tree.body
        if isinstance(node, ast.AnnAssign)
        and isinstance(node.target, ast.Name)
        and ast.unparse(node.annotation) != "TypeAlias"
    }
    declared.pop("__all__")
    assert list(declared) == fspl.__all__
    for name, annotation in declared.items():
        ufunc = getattr(fspl, name)
        if ufunc.signature:
            expected = "Final[_TableUfunc]"
        elif ufunc.nout > 1:
            expected = f"Final[_GradientUfunc{ufunc.nin}]"
        else:
            expected = f"Final[_Ufunc{ufunc.nin}]"
        assert annotation == expected, name


@pytest.mark.parametrize("name", obrivane.__all__)
def test_stub_docstrings_are_the_summary_lines_of_the_help_texts(name):
    stub = ast.get_docstring(stub_functions()[name])
    help_text = getattr(obrivane, name).__doc__
    assert stub == help_text.strip().splitlines()[0]

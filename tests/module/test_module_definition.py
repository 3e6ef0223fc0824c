"""The module object: registration order, text signatures, re-initialisation, the refusal of a
second interpreter, and the PanicException class."""

import ctypes
import importlib
import inspect
import os
import subprocess
import sys
import textwrap
import types

import obrivane
import pytest

FUNCTIONS = [
    ("witt_mao_magnification", "(l, re, rstar)"),
    ("integrated_witt_mao_magnification", "(l, re, rstar)"),
    ("integrated_flux_map_witt_mao_magnification", "(l, re, rstar, bl, bf)"),
    ("multi_witt_mao_magnification", "(l, re, rstar)"),
    ("heyrovsky_magnification", "(l, r, re, rstar)"),
    ("integrated_heyrovsky_magnification", "(l, re, rstar)"),
    ("integrated_flux_map_heyrovsky_magnification", "(l, re, rstar, bl, bf)"),
    ("discrete_flux_map_heyrovsky_magnification", "(l, re, rstar, bl, bf)"),
]

SUBINTERPRETER_MESSAGE = "PyO3 modules do not yet support subinterpreters, see "


def panic_exception_class():
    """The module's PanicException class, obtained the way a user meets it: from a sequence that
    reports a size no vector can hold."""

    class Enormous:
        def __len__(self):
            return 2**60

        def __getitem__(self, index):
            raise IndexError(index)

    try:
        obrivane.witt_mao_magnification(Enormous(), 1.0, 1.0)
    except BaseException as failure:  # noqa: BLE001 - the class is what we are after
        return type(failure)
    raise AssertionError("a size of 2**60 elements was accepted")


def test_all_lists_the_functions_in_registration_order():
    assert obrivane.__all__ == [name for name, _ in FUNCTIONS]
    assert type(obrivane.__all__) is list


def test_namespace_holds_the_functions_and_nothing_more():
    # fspl is the submodule of ufuncs in Einstein units, an attribute as os.path is of os.
    expected = {name for name, _ in FUNCTIONS} | {
        "__all__",
        "__doc__",
        "__name__",
        "__version__",
        "fspl",
    }
    loader_attributes = {"__file__", "__loader__", "__package__", "__spec__"}
    assert set(vars(obrivane)) - loader_attributes == expected
    assert obrivane.__name__ == "obrivane"
    assert isinstance(obrivane.__doc__, str) and obrivane.__doc__.strip()


@pytest.mark.parametrize(("name", "signature"), FUNCTIONS)
def test_functions_are_builtins_bound_to_the_module_with_text_signatures(name, signature):
    function = getattr(obrivane, name)
    assert isinstance(function, types.BuiltinFunctionType)
    assert function.__name__ == name
    assert function.__self__ is obrivane
    assert function.__module__ == "obrivane"
    assert function.__text_signature__ == signature
    assert str(inspect.signature(function)) == signature


def test_reported_signature_of_witt_mao_magnification():
    parameters = inspect.signature(obrivane.witt_mao_magnification).parameters
    assert list(parameters) == ["l", "re", "rstar"]
    assert all(p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD for p in parameters.values())
    assert all(p.default is inspect.Parameter.empty for p in parameters.values())


def test_second_initialisation_returns_the_same_module_object():
    library = ctypes.PyDLL(obrivane.__file__)
    library.PyInit_obrivane.restype = ctypes.py_object
    library.PyInit_obrivane.argtypes = []
    first = library.PyInit_obrivane()
    second = library.PyInit_obrivane()
    assert first is obrivane
    assert second is obrivane


def test_import_after_removal_from_sys_modules_gives_the_same_module():
    saved = sys.modules.pop("obrivane")
    try:
        import obrivane as reimported

        assert reimported is saved
    finally:
        sys.modules["obrivane"] = saved


def run_isolated(code: str) -> subprocess.CompletedProcess:
    directory = os.path.dirname(obrivane.__file__)
    environment = dict(os.environ, PYTHONPATH=directory)
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        capture_output=True,
        text=True,
        env=environment,
        timeout=60,
    )


def test_import_in_a_second_interpreter_raises_import_error(tmp_path):
    report = tmp_path / "report.txt"
    inside_the_subinterpreter = textwrap.dedent(
        f"""
        import sys
        sys.path.insert(0, {os.path.dirname(obrivane.__file__)!r})
        try:
            import obrivane
            outcome = "imported"
        except ImportError as error:
            outcome = type(error).__name__ + "|" + str(error)
        with open({str(report)!r}, "w", encoding="utf-8") as stream:
            stream.write(outcome)
        """
    )
    completed = run_isolated(
        f"""
        # From 3.12 on, an isolated subinterpreter (the default) refuses single-phase modules
        # before initialising them; a legacy one lets the module's own check run.
        try:
            import _interpreters as interpreters
            interpreter = interpreters.create("legacy")
        except ImportError:
            import _xxsubinterpreters as interpreters
            try:
                interpreter = interpreters.create(isolated=False)
            except TypeError:
                interpreter = interpreters.create()
        import obrivane
        interpreters.run_string(interpreter, {inside_the_subinterpreter!r})
        interpreters.destroy(interpreter)
        # The first interpreter keeps its module.
        assert obrivane.__all__[0] == "witt_mao_magnification"
        """
    )
    assert completed.returncode == 0, completed.stderr
    kind, message = report.read_text(encoding="utf-8").split("|", 1)
    assert kind == "ImportError"
    assert message.startswith(SUBINTERPRETER_MESSAGE)
    assert len(message) > len(SUBINTERPRETER_MESSAGE)


def subinterpreter_module():
    for name in ("_interpreters", "_xxsubinterpreters"):
        try:
            return importlib.import_module(name)
        except ImportError:
            continue
    return None


@pytest.mark.skipif(
    subinterpreter_module() is None, reason="this interpreter has no subinterpreter module"
)
@pytest.mark.parametrize("flavour", ["default", "legacy"])
def test_a_subinterpreter_importing_first_leaves_the_module_to_the_main_one(tmp_path, flavour):
    report = tmp_path / "report.txt"
    inside_the_subinterpreter = textwrap.dedent(
        f"""
        import sys
        sys.path.insert(0, {os.path.dirname(obrivane.__file__)!r})
        outcomes = []
        for attempt in range(2):
            try:
                import obrivane
                outcomes.append("imported")
            except ImportError as error:
                outcomes.append(type(error).__name__ + "|" + str(error))
        with open({str(report)!r}, "w", encoding="utf-8") as stream:
            stream.write("\\n".join(outcomes))
        """
    )
    completed = run_isolated(
        f"""
        import sys
        try:
            import _interpreters as interpreters
        except ImportError:
            import _xxsubinterpreters as interpreters
        # The default is an isolated interpreter from 3.12 on; "legacy" shares the main one's
        # rules for single-phase modules.
        if {flavour!r} == "default":
            interpreter = interpreters.create()
        elif interpreters.__name__ == "_interpreters":
            interpreter = interpreters.create("legacy")
        else:
            try:
                interpreter = interpreters.create(isolated=False)
            except TypeError:
                interpreter = interpreters.create()
        interpreters.run_string(interpreter, {inside_the_subinterpreter!r})
        interpreters.destroy(interpreter)
        assert "obrivane" not in sys.modules
        import obrivane
        assert obrivane.heyrovsky_magnification(2.0, 0.5, 1.0, 1.0) > 1
        del sys.modules["obrivane"]
        import obrivane as again
        assert again is obrivane
        """
    )
    assert completed.returncode == 0, completed.stderr
    outcomes = report.read_text(encoding="utf-8").split("\n")
    assert len(outcomes) == 2
    for outcome in outcomes:
        kind, message = outcome.split("|", 1)
        assert kind == "ImportError"
        assert message.startswith(SUBINTERPRETER_MESSAGE)


def test_panic_exception_class():
    panic = panic_exception_class()
    assert panic.__name__ == "PanicException"
    assert panic.__module__ == "pyo3_runtime"
    assert panic.__qualname__ == "PanicException"
    assert panic.__bases__ == (BaseException,)
    assert not issubclass(panic, Exception)
    assert "BaseException" in panic.__doc__
    assert not hasattr(obrivane, "PanicException")
    assert panic_exception_class() is panic


def test_panic_exception_is_not_caught_by_a_handler_for_exception():
    panic = panic_exception_class()

    class Enormous:
        def __len__(self):
            return 2**60

        def __getitem__(self, index):
            raise IndexError(index)

    def call_guarded_by_exception_handler():
        try:
            obrivane.witt_mao_magnification(Enormous(), 1.0, 1.0)
        except Exception:  # noqa: BLE001 - must not catch it
            return "caught by a handler for Exception"
        return "not raised"

    with pytest.raises(panic) as raised:
        call_guarded_by_exception_handler()
    assert raised.value.args == ("capacity overflow",)
    assert str(raised.value) == "capacity overflow"
    try:
        obrivane.witt_mao_magnification(Enormous(), 1.0, 1.0)
    except BaseException as failure:  # noqa: BLE001 - a handler for BaseException catches it
        assert type(failure) is panic

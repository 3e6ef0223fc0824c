"""Internal failures raised as pyo3_runtime.PanicException, including one taken back from the
interpreter and resumed, and the once-created values under concurrent first use."""

import os
import subprocess
import sys
import textwrap

import obrivane
import pytest


class Enormous:
    def __len__(self):
        return 2**60

    def __getitem__(self, index):
        raise IndexError(index)


def panic_class_of(call):
    try:
        call()
    except BaseException as failure:  # noqa: BLE001 - the class is what we are after
        assert type(failure).__name__ == "PanicException"
        return type(failure)
    raise AssertionError("no failure")


@pytest.fixture(scope="module")
def panic():
    return panic_class_of(lambda: obrivane.witt_mao_magnification(Enormous(), 1.0, 1.0))


@pytest.fixture(scope="module")
def testing_panic(testing_module):
    return panic_class_of(lambda: testing_module.internal_failure(0.0))


@pytest.mark.parametrize(
    ("function", "message"),
    [
        ("internal_failure", "requested internal failure"),
        ("unexpected_exception", "requested unexpected exception"),
    ],
)
def test_failures_below_the_entry_become_panic_exception(
    testing_module, testing_panic, capfd, function, message
):
    with pytest.raises(testing_panic) as raised:
        getattr(testing_module, function)(1.0)
    assert raised.value.args == (message,)
    assert str(raised.value) == message
    diagnostic = capfd.readouterr().err
    assert message in diagnostic


def test_each_extension_module_has_its_own_panic_class(panic, testing_panic):
    assert panic is not testing_panic
    assert testing_panic.__name__ == "PanicException"
    assert testing_panic.__module__ == "pyo3_runtime"
    assert testing_panic.__bases__ == (BaseException,)


def test_capacity_overflow_writes_a_diagnostic(panic, capfd):
    with pytest.raises(panic, match="^capacity overflow$"):
        obrivane.witt_mao_magnification(Enormous(), 1.0, 1.0)
    assert "capacity overflow" in capfd.readouterr().err


class RaisesPanic:
    """An element or sequence whose protocol methods raise a given PanicException instance."""

    def __init__(self, failure, where):
        self.failure = failure
        self.where = where

    def __float__(self):
        raise self.failure

    def __len__(self):
        if self.where == "__len__":
            raise self.failure
        return 1

    def __getitem__(self, index):
        return 1.0

    def __iter__(self):
        if self.where == "__iter__":
            raise self.failure
        return iter([self])


@pytest.mark.parametrize(
    "where", ["__float__ of re", "__float__ of an element", "__iter__", "__len__"]
)
def test_panic_exception_from_python_code_is_resumed(panic, capfd, where):
    failure = panic("raised in Python")
    if where == "__float__ of re":
        call = lambda: obrivane.witt_mao_magnification([1.0], RaisesPanic(failure, where), 1.0)  # noqa: E731
    elif where == "__float__ of an element":
        call = lambda: obrivane.witt_mao_magnification([1.0, RaisesPanic(failure, where)], 1.0, 1.0)  # noqa: E731
    else:
        call = lambda: obrivane.witt_mao_magnification(RaisesPanic(failure, where), 1.0, 1.0)  # noqa: E731
    with pytest.raises(panic) as raised:
        call()
    # A fresh exception carrying the message, not the one raised in Python, and not renamed.
    assert raised.value is not failure
    assert raised.value.args == ("raised in Python",)
    report = capfd.readouterr().err
    assert "resuming" in report
    assert "raised in Python" in report
    assert "Traceback" in report


def test_resumed_panic_whose_text_cannot_be_made(panic, capfd):
    class Unprintable:
        def __str__(self):
            raise ValueError("no text")

    failure = panic(Unprintable())
    with pytest.raises(panic) as raised:
        obrivane.witt_mao_magnification([RaisesPanic(failure, "__float__")], 1.0, 1.0)
    assert raised.value.args == ("Unwrapped panic from Python code",)
    capfd.readouterr()


def test_panic_of_another_module_is_an_ordinary_error(testing_module, testing_panic):
    failure = testing_panic("foreign")
    with pytest.raises(testing_panic) as raised:
        obrivane.witt_mao_magnification([RaisesPanic(failure, "__float__")], 1.0, 1.0)
    assert raised.value is failure


def test_the_call_after_a_failure_works(testing_module, testing_panic):
    with pytest.raises(testing_panic):
        testing_module.internal_failure(0.0)
    assert testing_module.echo_vector([1.0]) == [1.0]


def test_concurrent_first_use_of_once_created_values():
    """Several threads meet the lazily created classes (Sequence, PanicException) at once, in a
    fresh process; each gets the right error and none deadlocks."""
    directory = os.path.dirname(obrivane.__file__)
    code = textwrap.dedent(
        """
        import sys, threading
        import obrivane

        class Enormous:
            def __len__(self):
                return 2**60
            def __getitem__(self, index):
                raise IndexError(index)

        start = threading.Barrier(8)
        outcomes = []

        def worker(index):
            start.wait()
            for _ in range(50):
                try:
                    if index % 2:
                        obrivane.witt_mao_magnification(5.0, 1.0, 1.0)
                    else:
                        obrivane.witt_mao_magnification(Enormous(), 1.0, 1.0)
                except BaseException as failure:
                    outcomes.append((type(failure).__name__, str(failure)))

        threads = [threading.Thread(target=worker, args=(i,)) for i in range(8)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        print(sorted(set(outcomes)), len(outcomes))
        """
    )
    completed = subprocess.run(
        [sys.executable, "-c", code],
        capture_output=True,
        text=True,
        env=dict(os.environ, PYTHONPATH=directory),
        timeout=60,
    )
    assert completed.returncode == 0, completed.stderr
    expected = [
        ("PanicException", "capacity overflow"),
        ("TypeError", "argument 'l': 'float' object cannot be cast as 'Sequence'"),
    ]
    assert completed.stdout.strip() == f"{expected} 400"


def test_failed_call_without_pending_exception_is_system_error(testing_module):
    with pytest.raises(SystemError) as raised:
        testing_module.take_error_when_none_is_pending()
    assert type(raised.value) is SystemError
    assert raised.value.args == ("attempted to fetch exception but none was set",)

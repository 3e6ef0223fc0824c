"""Inputs for the property-based tests: valid arguments of every function across the whole
range of doubles, and objects that no parameter should accept."""

import math
import sys

from hypothesis import strategies as st

LARGEST = sys.float_info.max

# A distance or a radius: zero, subnormal, or any finite positive double, with the scales of
# real events drawn as often as the rest.
distances = st.one_of(
    st.floats(min_value=0.0, max_value=100.0),
    st.floats(min_value=0.0, max_value=LARGEST, allow_nan=False),
)
# An Einstein or a stellar radius: any finite double above zero.
radii = st.one_of(
    st.floats(min_value=1e-3, max_value=1e3),
    st.floats(min_value=0.0, max_value=LARGEST, exclude_min=True, allow_nan=False),
)
separations = st.lists(distances, max_size=4)
# A brightness table: at least two distinct radii on [0, 1] in increasing order, positive values.
table_radii = st.lists(
    st.integers(min_value=0, max_value=20), min_size=2, max_size=5, unique=True
).map(lambda steps: [step / 20 for step in sorted(steps)])


@st.composite
def tables(draw):
    bl = draw(table_radii)
    bf = draw(
        st.lists(st.floats(min_value=1e-3, max_value=1e3), min_size=len(bl), max_size=len(bl))
    )
    return bl, bf


class Refusal(Exception):
    """Raised by the objects below from their own methods; passes through unchanged."""


class RefusingFloat:
    def __float__(self):
        raise Refusal("no float")


class RefusingTypeErrorSubclass:
    class Subclass(TypeError):
        pass

    def __float__(self):
        raise self.Subclass("a subclass of TypeError")


class WrongFloat:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class RefusingLength:
    def __len__(self):
        raise Refusal("no length")

    def __getitem__(self, index):
        raise IndexError(index)


class RefusingIteration:
    def __len__(self):
        return 3

    def __getitem__(self, index):
        raise Refusal("no item")


class EnormousLength:
    def __len__(self):
        return 2**60

    def __getitem__(self, index):
        raise IndexError(index)


def refusing_generator():
    yield 1.0
    raise Refusal("stopped")


def invalid_objects():
    scalars = st.one_of(
        st.none(),
        st.text(max_size=3),
        st.binary(max_size=3),
        st.complex_numbers(allow_nan=True),
        st.integers(min_value=2**1024, max_value=2**1100),
        st.integers(max_value=-(2**1024), min_value=-(2**1100)),
        st.just(RefusingFloat()),
        st.just(RefusingTypeErrorSubclass()),
        st.builds(WrongFloat, st.one_of(st.none(), st.text(max_size=2), st.integers())),
        st.just(object()),
        st.just(float),
        st.just(math.sqrt),
        st.dictionaries(st.integers(), st.floats(), max_size=2),
        st.sets(st.floats(allow_nan=False), max_size=2),
    )
    sequences = st.one_of(
        st.lists(scalars, min_size=1, max_size=3),
        st.lists(st.one_of(st.floats(), scalars), min_size=1, max_size=3).map(tuple),
        st.just(RefusingLength()),
        st.just(RefusingIteration()),
        st.just(EnormousLength()),
        st.builds(lambda: refusing_generator()),
        st.lists(st.lists(st.floats(), min_size=2, max_size=2), min_size=1, max_size=2),
    )
    return st.one_of(scalars, sequences)

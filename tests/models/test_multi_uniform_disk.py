"""Batched uniform-disk magnification: every combination of an Einstein radius with a source
radius, each equal bit for bit to the single-source function."""

import math

import obrivane
import pytest

SEPARATIONS = [0.0, 0.3, 0.999, 1.0, 1.001, 2.5, 10.0]


def as_bits(rows):
    return [[value.hex() for value in row] for row in rows]


def test_pairs_in_order_and_bit_identical_to_single_calls():
    re, rstar = [1.0, 2.0], [0.1, 0.2, 0.3]
    got = obrivane.multi_witt_mao_magnification(SEPARATIONS, re, rstar)
    pairs = [(1.0, 0.1), (1.0, 0.2), (1.0, 0.3), (2.0, 0.1), (2.0, 0.2), (2.0, 0.3)]
    expected = [obrivane.witt_mao_magnification(SEPARATIONS, e, s) for e, s in pairs]
    assert as_bits(got) == as_bits(expected)


@pytest.mark.parametrize(
    "re, rstar",
    [([], [0.1, 0.2]), ([1.0, 2.0], []), ([], [])],
)
def test_no_pairs(re, rstar):
    assert obrivane.multi_witt_mao_magnification(SEPARATIONS, re, rstar) == []


def test_empty_separations_give_one_empty_list_per_pair():
    assert obrivane.multi_witt_mao_magnification([], [1.0, 2.0, 3.0], [0.5, 0.7]) == [[]] * 6


@pytest.mark.parametrize("re_count, rstar_count", [(1, 5), (4, 1), (3, 7)])
def test_lists_of_different_lengths(re_count, rstar_count):
    re = [0.5 + i for i in range(re_count)]
    rstar = [0.01 * (j + 1) for j in range(rstar_count)]
    got = obrivane.multi_witt_mao_magnification(SEPARATIONS, re, rstar)
    assert len(got) == re_count * rstar_count
    for k, row in enumerate(got):
        single = obrivane.witt_mao_magnification(
            SEPARATIONS, re[k // rstar_count], rstar[k % rstar_count]
        )
        assert [v.hex() for v in row] == [v.hex() for v in single]


def test_many_pairs_and_separations():
    # Both levels of the nested parallel loops carry real work.
    separations = [0.0017 * i for i in range(4000)]
    re = [0.5, 1.0, 2.0, 4.0, 8.0]
    rstar = [1e-4, 1e-2, 0.3, 1.0, 3.0]
    got = obrivane.multi_witt_mao_magnification(separations, re, rstar)
    for k, row in enumerate(got):
        single = obrivane.witt_mao_magnification(separations, re[k // 5], rstar[k % 5])
        assert row == single


def test_zero_einstein_radius_gives_nan_rows():
    got = obrivane.multi_witt_mao_magnification([0.5, 1.0, 2.0], [1.0, 0.0], [0.2, 0.4])
    assert all(math.isfinite(value) for row in got[:2] for value in row)
    assert all(math.isnan(value) for row in got[2:] for value in row)


def test_nan_elements_stay_in_their_rows():
    got = obrivane.multi_witt_mao_magnification([0.5, -2.0, math.nan, 1.5], [1.0], [0.1, 0.2])
    for row in got:
        assert math.isfinite(row[0]) and math.isnan(row[1]) and math.isnan(row[2])
        assert math.isfinite(row[3])


def test_separations_are_not_consumed_by_the_first_pair():
    separations = [0.25, 0.5, 0.75]
    got = obrivane.multi_witt_mao_magnification(separations, [1.0] * 10, [0.5])
    assert got == [obrivane.witt_mao_magnification(separations, 1.0, 0.5)] * 10
    assert separations == [0.25, 0.5, 0.75]


def test_radii_must_be_sequences():
    with pytest.raises(TypeError) as caught:
        obrivane.multi_witt_mao_magnification([1.0], 1.0, 1.0)
    assert str(caught.value) == "argument 're': 'float' object cannot be cast as 'Sequence'"
    with pytest.raises(TypeError) as caught:
        obrivane.multi_witt_mao_magnification([1.0], [1.0], 1.0)
    assert str(caught.value) == "argument 'rstar': 'float' object cannot be cast as 'Sequence'"

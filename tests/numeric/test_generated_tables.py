"""Every committed table of constants is what its generator in tools/ renders now, bit for bit:
a changed generator, or a hand edit of a table, fails here."""

import importlib
import pathlib

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]

# generator in tools/, its rendering function, the committed header
TABLES = [
    ("generate_tanh_sinh_table", "render", "src/numeric/tanh_sinh_table.hpp"),
    ("generate_gauss_rules", "render", "src/numeric/gauss_rules.hpp"),
    ("generate_elliptic_tables", "render_header", "src/numeric/legendre/taylor_coefficients.hpp"),
    ("generate_disk_mean_value_series", "render", "src/models/disk_mean_value_series.hpp"),
]


@pytest.mark.parametrize(("generator", "render", "header"), TABLES)
def test_committed_table_is_what_its_generator_renders(generator, render, header):
    module = importlib.import_module(generator)  # tools/ is on the import path (conftest.py)
    assert getattr(module, render)() == (ROOT / header).read_text(encoding="utf-8")

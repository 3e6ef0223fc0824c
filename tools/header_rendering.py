"""What the generators of the committed C++ constant tables share: rows of exact doubles (C99
hexadecimal literals) with their shortest decimal form in a trailing comment, aligned as
clang-format aligns trailing comments, and the command line that writes the rendered header.

    python tools/generate_X.py [OUTPUT]   # the header to OUTPUT, or to standard output

The generators of reference integrals share the same command line with a number of worker
processes, `--jobs N`.
"""

import sys
from collections.abc import Callable


def aligned_rows(rows: list[tuple[str, str]]) -> list[str]:
    """Each (code, comment) row as one line, the comments starting in one column two spaces
    after the longest code."""
    width = max(len(code) for code, _ in rows)
    return [f"{code.ljust(width)}  {comment}" for code, comment in rows]


def write_rendered(render: Callable[[], str], argv: list[str]) -> int:
    """The command line of a generator: the text of render() to the path argv[1], else to
    standard output."""
    text = render()
    if len(argv) > 1:
        with open(argv[1], "w", encoding="utf-8") as output:
            output.write(text)
    else:
        sys.stdout.write(text)
    return 0


def write_rendered_with_jobs(render: Callable[[int], str], argv: list[str]) -> int:
    """write_rendered for render(jobs), with `--jobs N` (default 1) taken out of argv."""
    jobs = 1
    if "--jobs" in argv:
        index = argv.index("--jobs")
        jobs = int(argv[index + 1])
        argv = argv[:index] + argv[index + 2 :]
    return write_rendered(lambda: render(jobs), argv)

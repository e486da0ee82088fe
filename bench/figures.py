"""The figures a benchmark script reports to bench/run_all.py.

Each script prints its own table for people, and with ``--figures`` also one
line ``FIGURES [...]``: a JSON list of rows, each a benchmark, what was
measured, the value and its unit, and where a goal is stated as a ratio, the
reference it is compared with, the ratio and the goal.
"""
import json

_rows = []


def add_option(parser):
    parser.add_argument("--figures", action="store_true",
                        help="also print the figures as one JSON line for run_all.py")


def figure(bench, what, value, unit, reference=None, ratio=None, goal=""):
    """Records one row. `reference` is a (text, value) pair when the figure is
    compared with something; `ratio` is value / reference unless given."""
    row = {"bench": bench, "what": what, "value": value, "unit": unit, "goal": goal}
    if reference is not None:
        row["reference"], row["reference_value"] = reference
        row["ratio"] = ratio if ratio is not None else value / reference[1]
    elif ratio is not None:
        row["ratio"] = ratio
    _rows.append(row)


def emit(args):
    if getattr(args, "figures", False):
        print("FIGURES " + json.dumps(_rows), flush=True)

#!/usr/bin/env python3
"""Runs every benchmark of the project and prints one table of figures.

The Python benchmarks (calls, views, PLY, capture, threads, line scan) run
one after the other, each in its own process, and report their figures with
``--figures``; the C++ benchmarks (marker detection and the other tools, the
sensor steps) run from the build tree when they are built. Each row gives
the figure, and where a goal is stated as a ratio, what it is compared with
and the ratio.

Run: .venv/bin/python bench/run_all.py
Options: --quick (fewer repetitions), --only NAME (one benchmark script, e.g.
capture).
"""
import argparse
import json
import os
import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
BENCH = ROOT / "bench"
BUILD = pathlib.Path(os.environ.get("PYVYX_BUILD_DIR", ROOT / "build"))

SCRIPTS = {
    "calls": ["bench_calls.py"],
    "views": ["bench_views.py"],
    "PLY": ["bench_ply.py"],
    "capture": ["bench_capture.py"],
}
QUICK = {
    "calls": ["--batches", "7", "--calls", "5000"],
    "views": ["--batches", "7", "--calls", "500", "--copies", "3"],
    "PLY": ["--repeats", "3"],
    "capture": ["--frames", "7"],
}
# C++ benchmarks: executable, what its rows measure.
NATIVE = [
    ("bench_tools_bench", "tools"),
    ("bench_sensor_bench", "sensor"),
]


def run_script(name, quick):
    cmd = [sys.executable, str(BENCH / SCRIPTS[name][0]), "--figures"] + (QUICK[name] if quick else [])
    out = subprocess.run(cmd, capture_output=True, text=True, cwd=ROOT)
    if out.returncode != 0:
        print(out.stdout, out.stderr, file=sys.stderr)
        sys.exit(f"{name} failed (exit {out.returncode})")
    for line in out.stdout.splitlines():
        if line.startswith("FIGURES "):
            return json.loads(line[len("FIGURES "):])
    sys.exit(f"{name} printed no figures")


def run_native(exe, bench, quick):
    path = BUILD / "bench" / exe
    if not path.exists():
        return [{"bench": bench, "what": f"{exe} is not built (PYVYX_BUILD_BENCH)", "value": None,
                 "unit": "", "goal": ""}]
    cmd = [str(path), "--benchmark_format=json"]
    if quick:
        cmd.append("--benchmark_repetitions=3")
    data = json.loads(subprocess.run(cmd, check=True, capture_output=True, text=True).stdout)
    rows = []
    for b in data["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        name = b["run_name"].split("/")[0].removeprefix("BM_")
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
        rows.append({"bench": bench, "what": name.replace("_", " "), "value": b["real_time"] * scale,
                     "unit": "ms", "goal": ""})
    return rows


def fmt(v):
    if v is None:
        return "-"
    if abs(v) >= 100:
        return f"{v:.0f}"
    if abs(v) >= 10:
        return f"{v:.1f}"
    return f"{v:.2f}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="fewer repetitions")
    parser.add_argument("--only", choices=sorted(SCRIPTS) + ["tools", "sensor"])
    args = parser.parse_args()

    rows = []
    for name in SCRIPTS:
        if args.only in (None, name):
            print(f"running {name} ...", file=sys.stderr, flush=True)
            rows += run_script(name, args.quick)
    for exe, bench in NATIVE:
        if args.only in (None, bench):
            print(f"running {bench} ...", file=sys.stderr, flush=True)
            rows += run_native(exe, bench, args.quick)

    width = max(len(r["what"]) for r in rows)
    print(f"{'bench':<10} {'what':<{width}} {'value':>9} {'unit':<5} "
          f"{'compared with':<28} {'ref':>9} {'ratio':>7}  goal")
    for r in rows:
        ref = r.get("reference", "")
        print(f"{r['bench']:<10} {r['what']:<{width}} {fmt(r['value']):>9} {r['unit']:<5} "
              f"{ref:<28} {fmt(r.get('reference_value')) if ref else '':>9} "
              f"{fmt(r.get('ratio')) if 'ratio' in r else '':>7}  {r['goal']}")


if __name__ == "__main__":
    main()

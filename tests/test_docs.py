"""The user guide's code: every ```python block of docs/*.md runs against
the installed package, so the guide cannot drift from the module.

Each block runs as a script of its own, in a fresh interpreter and a fresh
temporary working directory, with the stand-in's environment variables
(VYX_SIM_CONFIG, VYX_SIM_SEED, VYX_TRACE) removed; it passes when it exits
with status 0. The examples use the stand-in's virtual devices, so without
vyxsim (a PyVyx built against another SDK) they are skipped, except those
marked as running on any SDK. Markers are an HTML comment on the line before
the fence, several separated by commas:

    <!-- not run -->   never run (deliberately not runnable)
    <!-- pytest -->    a test module: run with pytest (and the package's pytest plugin)
    <!-- any SDK -->   needs neither vyxsim nor the virtual devices

The guide's relative links are checked too: each must name a file of the
repository.
"""
import os
import pathlib
import re
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

import pytest

from conftest import HAVE_STANDIN, NO_STANDIN, PLUGIN_ARGS

ROOT = pathlib.Path(__file__).resolve().parent.parent
DOCS = ROOT / "docs"
MARKERS = {"not run", "pytest", "any SDK"}
TIMEOUT_S = 120

FENCE = re.compile(r"^```(\S*)\s*$")
MARKER = re.compile(r"^<!--\s*(.*?)\s*-->$")
LINK = re.compile(r"\]\(([^)\s]+)\)")


class Block:
    def __init__(self, page, line, language, markers, code):
        self.page, self.line, self.language, self.markers, self.code = page, line, language, markers, code

    @property
    def name(self):
        return f"{self.page.name}:{self.line}"


def blocks(page):
    """The fenced blocks of a Markdown page with the marker before each."""
    found = []
    lines = page.read_text(encoding="utf-8").splitlines()
    i = 0
    while i < len(lines):
        m = FENCE.match(lines[i].strip())
        if not m:
            i += 1
            continue
        start, language = i, m.group(1)
        j = i + 1
        while j < len(lines) and lines[j].strip() != "```":
            j += 1
        assert j < len(lines), f"{page.name}:{start + 1}: unclosed code block"
        indent = len(lines[i]) - len(lines[i].lstrip())
        code = "\n".join(line[indent:] for line in lines[start + 1:j]) + "\n"
        k = start - 1
        while k >= 0 and not lines[k].strip():
            k -= 1
        markers = set()
        if k >= 0:
            mm = MARKER.match(lines[k].strip())
            if mm:
                markers = {m.strip() for m in mm.group(1).split(",")}
        found.append(Block(page, start + 1, language, markers, code))
        i = j + 1
    return found


PAGES = sorted(DOCS.glob("*.md"))
ALL_BLOCKS = [b for page in PAGES for b in blocks(page)]
PYTHON_BLOCKS = [b for b in ALL_BLOCKS if b.language == "python"]


def child_env():
    env = {k: v for k, v in os.environ.items()
           if k not in ("VYX_SIM_CONFIG", "VYX_SIM_SEED", "VYX_TRACE")}
    env["PYTHONDONTWRITEBYTECODE"] = "1"
    return env


def skip_reason(block):
    """Why the block is not run here, or None."""
    if "not run" in block.markers:
        return "marked as not runnable"
    if not HAVE_STANDIN and "any SDK" not in block.markers:
        return NO_STANDIN
    return None


def run_block(block, folder):
    """Runs the block as a script (or a pytest module) in `folder`."""
    if "pytest" in block.markers:
        script = folder / "test_snippet.py"
        command = [sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider", *PLUGIN_ARGS, str(script)]
    else:
        script = folder / "snippet.py"
        command = [sys.executable, str(script)]
    script.write_text(block.code, encoding="utf-8")
    return subprocess.run(command, cwd=folder, env=child_env(), capture_output=True, text=True,
                          timeout=TIMEOUT_S, stdin=subprocess.DEVNULL)


@pytest.fixture(scope="module")
def block_runs(request, tmp_path_factory):
    """Starts the runs of every selected block of this module at once, as
    many at a time as there are processors; maps a block's name to the
    future of its run."""
    selected = [item.callspec.params["block"] for item in request.session.items
                if item.module is request.module and item.originalname == "test_python_block_runs"]
    with ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        yield {b.name: pool.submit(run_block, b, tmp_path_factory.mktemp("snippet"))
               for b in selected if skip_reason(b) is None}


@pytest.mark.parametrize("block", PYTHON_BLOCKS, ids=lambda b: b.name)
def test_python_block_runs(block, block_runs, tmp_path):
    reason = skip_reason(block)
    if reason:
        pytest.skip(reason)
    future = block_runs.get(block.name)
    run = future.result() if future else run_block(block, tmp_path)
    assert run.returncode == 0, (
        f"{block.name} exited with {run.returncode}\n--- stdout\n{run.stdout}\n--- stderr\n{run.stderr}")


def test_guide_has_runnable_python():
    runnable = [b for b in PYTHON_BLOCKS if "not run" not in b.markers]
    assert PAGES and len(runnable) >= len(PAGES) - 1


@pytest.mark.parametrize("block", [b for b in ALL_BLOCKS if b.markers], ids=lambda b: b.name)
def test_markers_are_known_and_on_python(block):
    unknown = block.markers - MARKERS
    assert not unknown, f"{block.name}: unknown markers {sorted(unknown)}"
    assert block.language == "python", f"{block.name}: marker on a {block.language or 'plain'} block"


@pytest.mark.parametrize("page", PAGES, ids=lambda p: p.name)
def test_relative_links_name_existing_files(page):
    text = page.read_text(encoding="utf-8")
    # Links inside code blocks are code, not links.
    prose = re.sub(r"^\s*```.*?^\s*```", "", text, flags=re.S | re.M)
    broken = []
    for target in LINK.findall(prose):
        if re.match(r"[a-z]+:", target) or target.startswith("#"):
            continue
        path = (page.parent / target.split("#", 1)[0]).resolve()
        if not path.exists():
            broken.append(target)
    assert not broken, f"{page.name}: links to missing files: {broken}"

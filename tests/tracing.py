"""Reading the stand-in's call trace in tests: which SDK calls a piece of
Python made, and with which arguments."""
import re


def traced(sim, fn):
    """Runs `fn` with the trace on; returns (its result, the trace lines)."""
    sim.trace_clear()
    sim.trace_enable(True)
    try:
        result = fn()
    finally:
        sim.trace_enable(False)
    return result, sim.trace()


def calls(lines, op):
    """The trace lines of SDK operation `op`."""
    return [line for line in lines if line.startswith(op + "(")]


def arg(line, name):
    """The text of argument `name` in one trace line."""
    m = re.search(r"[(,]\s*" + re.escape(name) + r"=([^,)]*)", line)
    assert m, f"no argument {name} in {line}"
    return m.group(1)


def handle_text(sim, obj):
    """How the trace writes the handle `obj` holds (#a.b)."""
    _, lines = traced(sim, obj.IsValid)
    return re.search(r"#\d+\.\d+", lines[0]).group(0)


def class_calls(lines, class_name):
    """The trace lines of every SDK operation of class `class_name` ("X1", "X2")."""
    return [line for line in lines if line.startswith(class_name + "::")]

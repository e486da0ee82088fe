"""Compensator_FixedMarkers: the SDK object's construction and destruction
follow the Python object's life, the methods pass their arguments through,
and the results carry the folded status and determinate outputs."""
import gc
import re

import numpy as np
import pytest
from tracing import traced, calls, arg

CTOR = "Compensator_FixedMarkers::Compensator_FixedMarkers"
DTOR = "Compensator_FixedMarkers::~Compensator_FixedMarkers"


def handle_text(sim, obj):
    """The handle words of `obj` as the trace prints them (#a.b)."""
    _, lines = traced(sim, obj.IsValid)
    return re.search(r"#\d+\.\d+", lines[0]).group(0)


@pytest.fixture
def pm(vyx):
    m = vyx.PointMapCreate(vyx.PointMapTypeEnum.PointsOnly, vyx.Size(8, 6))
    assert m.IsValid()
    return m


@pytest.fixture
def img(vyx):
    i = vyx.ImageCreate(vyx.ImageTypeEnum.Mono8, vyx.Size(8, 6))
    assert i.IsValid()
    return i


class TestLifetime:
    def test_dropping_the_last_reference_destroys_once(self, vyx, sim):
        comp, lines = traced(sim, vyx.Compensator_FixedMarkers)
        (ctor,) = calls(lines, CTOR)
        obj = arg(ctor, "object")

        alias = comp
        sim.trace_clear()
        sim.trace_enable(True)
        del comp
        gc.collect()
        sim.trace_enable(False)
        assert calls(sim.trace(), DTOR) == [], "a second reference keeps the SDK object"

        sim.trace_enable(True)
        del alias
        gc.collect()
        sim.trace_enable(False)
        dtors = calls(sim.trace(), DTOR)
        assert [arg(d, "object") for d in dtors] == [obj]

    def test_independent_objects(self, vyx, sim):
        (a, b), lines = traced(sim, lambda: (vyx.Compensator_FixedMarkers(),
                                             vyx.Compensator_FixedMarkers()))
        objs = [arg(line, "object") for line in calls(lines, CTOR)]
        assert len(objs) == 2 and objs[0] != objs[1]

        sim.trace_enable(True)
        del b
        gc.collect()
        sim.trace_enable(False)
        assert [arg(d, "object") for d in calls(sim.trace(), DTOR)] == [objs[1]]
        del a

    def test_construction_needs_no_initialised_system(self, sim):
        import PyVyx

        assert not PyVyx.SystemIsInited()
        comp, lines = traced(sim, PyVyx.Compensator_FixedMarkers)
        assert len(calls(lines, CTOR)) == 1
        del comp

    def test_no_copy_and_no_dynamic_attributes(self, vyx):
        comp = vyx.Compensator_FixedMarkers()
        with pytest.raises(AttributeError):
            comp.extra = 1
        with pytest.raises(TypeError):
            vyx.Compensator_FixedMarkers(comp)


class TestMethods:
    @pytest.mark.parametrize("min_markers", [0, 3, -7, 2**31 - 1])
    def test_initialize_passes_arguments_and_returns_status(self, vyx, sim, pm, img,
                                                            min_markers):
        comp = vyx.Compensator_FixedMarkers()
        pm_words, img_words = handle_text(sim, pm), handle_text(sim, img)
        status, lines = traced(sim, lambda: comp.Initialize(pm, img, min_markers))
        (line,) = calls(lines, "Compensator_FixedMarkers::Initialize")
        assert (arg(line, "map"), arg(line, "image")) == (pm_words, img_words)
        assert int(arg(line, "min_markers")) == min_markers
        assert type(status) is int

    def test_update_unwritten_output_is_zero(self, vyx, sim, pm, img):
        comp = vyx.Compensator_FixedMarkers()
        sim.fail_next("Compensator_FixedMarkers::Update", write_outputs=False)
        result = comp.Update(pm, img)
        assert isinstance(result, tuple) and len(result) == 2
        flag, drift = result
        assert type(flag) is bool and type(drift) is float
        # The SDK reports the failure with status 0.
        assert result == (False, 0.0)
        assert vyx.GetLastError() != 0

    def test_update_passes_handles(self, vyx, sim, pm, img):
        comp = vyx.Compensator_FixedMarkers()
        words = handle_text(sim, pm), handle_text(sim, img)
        _, lines = traced(sim, lambda: comp.Update(pm, img))
        (line,) = calls(lines, "Compensator_FixedMarkers::Update")
        assert (arg(line, "map"), arg(line, "image")) == words

    def test_apply_returns_a_new_object_with_the_same_handle(self, vyx, sim, pm):
        comp = vyx.Compensator_FixedMarkers()
        pm_words = handle_text(sim, pm)
        (flag, out), lines = traced(sim, lambda: comp.Apply(pm))
        (line,) = calls(lines, "Compensator_FixedMarkers::Apply")
        assert arg(line, "map") == pm_words
        assert type(flag) is bool
        assert isinstance(out, vyx.PointMap) and out is not pm
        assert handle_text(sim, out) == pm_words

        # Both objects name the same SDK point map: the data is shared...
        np.asarray(pm)[...] = 0.25
        assert np.all(np.asarray(out) == 0.25)
        # ...and destroying it through one leaves the other naming nothing.
        vyx.PointMap.Destroy(out)
        assert not pm.IsValid()

    @pytest.mark.parametrize("call", [
        lambda vx, c, pm, img: c.Initialize(pm, img),
        lambda vx, c, pm, img: c.Initialize(img, pm, 3),
        lambda vx, c, pm, img: c.Initialize(pm, img, 1.5),
        lambda vx, c, pm, img: c.Update(pm),
        lambda vx, c, pm, img: c.Update(img, pm),
        lambda vx, c, pm, img: c.Apply(img),
        lambda vx, c, pm, img: c.Apply(np.zeros((6, 8, 3))),
    ])
    def test_wrong_arguments_raise_type_error_without_sdk_call(self, vyx, sim, pm, img, call):
        comp = vyx.Compensator_FixedMarkers()
        sim.trace_clear()
        sim.trace_enable(True)
        with pytest.raises(TypeError):
            call(vyx, comp, pm, img)
        sim.trace_enable(False)
        assert not [l for l in sim.trace() if l.startswith("Compensator_FixedMarkers::")]

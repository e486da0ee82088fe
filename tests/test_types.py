"""Size, ROI and ROIRange: records of 32-bit integers."""
import operator

import pytest

import PyVyx

INT32_MIN, INT32_MAX = -(2**31), 2**31 - 1

FIELDS = {
    "Size": ["width", "height", "cols", "rows"],
    "ROI": ["x", "y", "width", "height"],
    "ROIRange": [
        "x_step", "y_step", "width_step", "height_step",
        "width_min", "height_min", "width_max", "height_max",
    ],
}
RECORD_FIELDS = [(cls, field) for cls, fields in FIELDS.items() for field in fields]


class Index:
    """An object that is an integer only through the index protocol."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


@pytest.mark.parametrize("cls", FIELDS)
def test_fields_in_registration_order(cls):
    declared = [n for n, v in vars(getattr(PyVyx, cls)).items() if isinstance(v, property)]
    assert declared == FIELDS[cls]


@pytest.mark.parametrize("cls, field", RECORD_FIELDS)
def test_default_is_zero(cls, field):
    assert getattr(getattr(PyVyx, cls)(), field) == 0


def test_size_from_two_integers():
    size = PyVyx.Size(640, 480)
    assert (size.width, size.height, size.cols, size.rows) == (640, 480, 640, 480)


@pytest.mark.parametrize(
    "alias, field, value",
    [("cols", "width", 320), ("rows", "height", 240), ("width", "cols", -7), ("height", "rows", 9)],
)
def test_size_aliases_share_storage(alias, field, value):
    size = PyVyx.Size(640, 480)
    setattr(size, alias, value)
    assert getattr(size, field) == value


def test_roi_from_four_integers_in_field_order():
    roi = PyVyx.ROI(1, 2, 300, -400)
    assert (roi.x, roi.y, roi.width, roi.height) == (1, 2, 300, -400)


@pytest.mark.parametrize("cls, field", RECORD_FIELDS)
@pytest.mark.parametrize("value", [INT32_MIN, -1, 0, 12345, INT32_MAX])
def test_field_stores_any_int32_unchanged(cls, field, value):
    record = getattr(PyVyx, cls)()
    setattr(record, field, value)
    assert getattr(record, field) == value


@pytest.mark.parametrize("cls, field", RECORD_FIELDS)
@pytest.mark.parametrize("bad", [INT32_MAX + 1, INT32_MIN - 1, 2**64, 1.0, 2.5, "3", None])
def test_field_refuses_non_int32_and_keeps_value(cls, field, bad):
    record = getattr(PyVyx, cls)()
    setattr(record, field, 17)
    with pytest.raises(TypeError):
        setattr(record, field, bad)
    assert getattr(record, field) == 17


@pytest.mark.parametrize("cls, field", RECORD_FIELDS)
def test_field_accepts_index_protocol(cls, field):
    record = getattr(PyVyx, cls)()
    setattr(record, field, Index(-99))
    assert getattr(record, field) == -99


@pytest.mark.parametrize(
    "cls, args",
    [
        ("Size", (INT32_MAX + 1, 0)),
        ("Size", (1.5, 2)),
        ("Size", ("1", 2)),
        ("ROI", (0, 0, 0, INT32_MIN - 1)),
        ("ROI", (0, None, 0, 0)),
    ],
)
def test_constructor_refuses_non_int32(cls, args):
    with pytest.raises(TypeError):
        getattr(PyVyx, cls)(*args)


def test_constructor_accepts_index_protocol():
    size = PyVyx.Size(Index(3), Index(4))
    assert (size.width, size.height) == (3, 4)


@pytest.mark.parametrize(
    "cls, args, signatures",
    [
        ("Size", (1,), ["PyVyx.Size()", "PyVyx.Size(arg0: int, arg1: int)"]),
        ("Size", (1, 2, 3), ["PyVyx.Size()", "PyVyx.Size(arg0: int, arg1: int)"]),
        ("ROI", (1, 2), ["PyVyx.ROI()", "PyVyx.ROI(arg0: int, arg1: int, arg2: int, arg3: int)"]),
        ("ROIRange", (1,), ["PyVyx.ROIRange()"]),
    ],
)
def test_wrong_argument_count_lists_accepted_signatures(cls, args, signatures):
    with pytest.raises(TypeError) as err:
        getattr(PyVyx, cls)(*args)
    message = str(err.value)
    for signature in signatures:
        assert signature in message


@pytest.mark.parametrize("cls", ["Size", "ROI"])
def test_no_keyword_constructor(cls):
    with pytest.raises(TypeError):
        getattr(PyVyx, cls)(width=1, height=2)


@pytest.mark.parametrize("cls", FIELDS)
def test_no_undeclared_attributes(cls):
    record = getattr(PyVyx, cls)()
    with pytest.raises(AttributeError):
        record.depth = 3
    with pytest.raises(AttributeError):
        record.__dict__


@pytest.mark.parametrize("cls, args", [("Size", (2, 3)), ("ROI", (1, 2, 3, 4))])
def test_equality_is_identity(cls, args):
    a, b = getattr(PyVyx, cls)(*args), getattr(PyVyx, cls)(*args)
    assert a == a
    assert a != b


@pytest.mark.parametrize("op", [operator.lt, operator.add])
def test_no_arithmetic_or_ordering(op):
    with pytest.raises(TypeError):
        op(PyVyx.Size(1, 2), PyVyx.Size(3, 4))


def test_records_are_separate_copies():
    a = PyVyx.ROI(1, 2, 3, 4)
    b = PyVyx.ROI(1, 2, 3, 4)
    a.x = 50
    assert b.x == 1


@pytest.mark.parametrize("cls, field", [("Size", "width"), ("ROI", "x"), ("ROIRange", "x_step")])
def test_field_help_texts(cls, field):
    prop = getattr(getattr(PyVyx, cls), field)
    assert prop.fget.__doc__.strip() == f"(self: PyVyx.{cls}) -> int"
    assert prop.fset.__doc__.strip() == f"(self: PyVyx.{cls}, arg0: int) -> None"

"""The seven enumeration classes: members, texts, comparison, construction, pickling."""

import operator
import pickle

import _quarn
import pytest

RESULT_NAMES = [
    "Success",
    "ReadError",
    "WriteError",
    "InvalidMagicNumber",
    "InvalidVersionNumber",
    "InvalidChecksumType",
    "InvalidBlockType",
    "InvalidCompressionType",
    "InvalidMetadataEncodingType",
    "InvalidGCodeEncodingType",
    "DataCompressionError",
    "DataUncompressionError",
    "MetadataEncodingError",
    "MetadataDecodingError",
    "GCodeEncodingError",
    "GCodeDecodingError",
    "BlockNotFound",
    "InvalidChecksum",
    "InvalidThumbnailFormat",
    "InvalidThumbnailWidth",
    "InvalidThumbnailHeight",
    "InvalidThumbnailDataSize",
    "InvalidBinaryGCodeFile",
    "InvalidAsciiGCodeFile",
    "InvalidSequenceOfBlocks",
    "InvalidBuffer",
    "AlreadyBinarized",
    "MissingPrinterMetadata",
    "MissingPrintMetadata",
    "MissingSlicerMetadat",
]

# Class name -> member names in registration order; the value of each is its index.
ENUMS = {
    "EResult": RESULT_NAMES,
    "CompressionType": ["none", "Deflate", "Heatshrink_11_4", "Heatshrink_12_4"],
    "GCodeEncodingType": ["none", "MeatPack", "MeatPackComments"],
    "MetadataEncodingType": ["INI"],
    "ChecksumType": ["none", "CRC32"],
    "EBlockType": [
        "FileMetadata",
        "GCode",
        "SlicerMetadata",
        "PrinterMetadata",
        "PrintMetadata",
        "Thumbnail",
    ],
    "EThumbnailFormat": ["PNG", "JPG", "QOI"],
}

ALL_MEMBERS = [
    (getattr(_quarn, cls), name, value)
    for cls, names in ENUMS.items()
    for value, name in enumerate(names)
]


def test_registration_order():
    classes = [name for name, obj in vars(_quarn).items() if name in ENUMS]
    assert classes == list(ENUMS)


@pytest.mark.parametrize("cls_name", ENUMS)
def test_members_and_class_doc(cls_name):
    cls = getattr(_quarn, cls_name)
    names = ENUMS[cls_name]
    members = cls.__members__
    assert list(members) == names
    assert [m.value for m in members.values()] == list(range(len(names)))
    assert cls.__members__ is not members  # a new dict each time
    assert cls.__doc__ == "Members:" + "".join("\n\n  " + name for name in names)


@pytest.mark.parametrize(("cls", "name", "value"), ALL_MEMBERS)
def test_member(cls, name, value):
    member = getattr(cls, name)
    assert cls(value) == member
    assert member.name == name
    assert member.value == int(member) == operator.index(member) == hash(member) == value
    assert str(member) == f"{cls.__name__}.{name}"
    assert repr(member) == f"<{cls.__name__}.{name}: {value}>"
    assert pickle.loads(pickle.dumps(member)) == member
    assert member.__getstate__() == value


def test_documented_examples():
    assert _quarn.EResult(29) == _quarn.EResult.MissingSlicerMetadat
    assert str(_quarn.EResult(29)) == "EResult.MissingSlicerMetadat"
    assert _quarn.CompressionType.Heatshrink_12_4.value == 3
    assert int(_quarn.EBlockType.Thumbnail) == 5
    assert _quarn.EThumbnailFormat(2) == _quarn.EThumbnailFormat.QOI
    assert len(_quarn.MetadataEncodingType.__members__) == 1
    assert len(_quarn.EResult.__members__) == 30


def test_equality_is_by_class_and_value():
    success = _quarn.EResult.Success
    assert (success == 0) is False
    assert (success != 0) is True
    assert success == _quarn.EResult(0)
    assert (success != _quarn.EResult(0)) is False
    assert (_quarn.ChecksumType.none == _quarn.CompressionType.none) is False
    assert _quarn.ChecksumType.none != _quarn.CompressionType.none
    assert (success == None) is False  # noqa: E711
    assert {_quarn.EResult(1): "x"}[_quarn.EResult.ReadError] == "x"


@pytest.mark.parametrize(
    "op", [operator.lt, operator.le, operator.gt, operator.ge, operator.add, operator.or_]
)
def test_no_ordering_or_arithmetic(op):
    with pytest.raises(TypeError):
        op(_quarn.EResult.ReadError, _quarn.EResult.WriteError)


def test_values_naming_no_member():
    unnamed = _quarn.EResult(1000)
    assert unnamed.name == "???"
    assert unnamed.value == 1000
    assert str(unnamed) == "EResult.???"
    assert repr(unnamed) == "<EResult.???: 1000>"
    assert _quarn.EResult(65535).value == 65535
    assert pickle.loads(pickle.dumps(unnamed)).value == 1000


@pytest.mark.parametrize("bad", [65536, -1, 1.0, "1", None])
def test_construction_refuses(bad):
    with pytest.raises(TypeError):
        _quarn.EResult(bad)


def test_construction_keyword_is_value():
    assert _quarn.EResult(value=3) == _quarn.EResult.InvalidMagicNumber


def test_read_only_and_not_exported():
    with pytest.raises(AttributeError):
        _quarn.EResult.Success.value = 1
    with pytest.raises(AttributeError):
        _quarn.EResult.Success.name = "x"
    for name in ("Success", "none", "CRC32", "GCode", "PNG"):
        assert not hasattr(_quarn, name)


def test_bindings_accept_only_their_own_class():
    assert _quarn.translate_result(_quarn.EResult.ReadError) == "Read error"
    for wrong in (1, _quarn.CompressionType.Deflate):
        with pytest.raises(TypeError):
            _quarn.translate_result(wrong)
    with pytest.raises(RuntimeError):
        _quarn.translate_result(None)

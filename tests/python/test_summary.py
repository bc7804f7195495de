"""The print summary read from metadata, the thumbnail chosen for a display size, and the
summary's terminal lines."""

from __future__ import annotations

import json
from collections.abc import Iterator, Mapping
from dataclasses import replace
from datetime import datetime, timedelta, timezone
from pathlib import Path

import pytest

import pyquarn
from pyquarn import EBlockType, EThumbnailFormat, Thumbnail
from pyquarn.summary import (
    Summary,
    choose_thumbnail,
    format_duration,
    format_summary,
    summarize,
)

UTC = timezone.utc  # datetime.UTC from Python 3.11 on

ROOT = Path(__file__).resolve().parents[2]
BRACKET = ROOT / "examples" / "bracket.gcode"
LOGO = ROOT.parent / "shared" / "corpus" / "logo.gcode"

KINDS = {
    "file": EBlockType.FileMetadata,
    "printer": EBlockType.PrinterMetadata,
    "print": EBlockType.PrintMetadata,
    "slicer": EBlockType.SlicerMetadata,
}


def pairs(text: str) -> list[tuple[str, str]]:
    """The pairs of INI lines as a binary file stores them: "key=value" each."""
    return [tuple(line.strip().split("=", 1)) for line in text.strip().splitlines()]


class ReaderMetadata(Mapping[str, str]):
    """A kind's metadata as the reader gives it: `m[key]` is the first value, `items()`
    every pair in file order."""

    def __init__(self, pairs: list[tuple[str, str]]) -> None:
        self._pairs = pairs

    def __getitem__(self, key: str) -> str:
        return next(value for k, value in self._pairs if k == key)

    def __iter__(self) -> Iterator[str]:
        return iter(dict(self._pairs))

    def __len__(self) -> int:
        return len(dict(self._pairs))

    def items(self):
        return list(self._pairs)


def binary_metadata(path: Path) -> dict[str, tuple[tuple[str, str], ...]]:
    file = pyquarn.info(path)
    return {kind: file.metadata(block_type) for kind, block_type in KINDS.items()}


# --- whole summaries ----------------------------------------------------------------------

ONE_EXTRUDER = {
    "file": pairs("Producer=Strataly 1.3.0\nProduced on=2026-12-10 at 10:01:51 UTC"),
    "printer": pairs(
        """
        printer_model=ST1
        filament_type=PLA
        nozzle_diameter=0.4
        bed_temperature=60
        fill_density=15%
        layer_height=0.2
        temperature=215
        support_material=1
        max_layer_z=12.5
        objects_info={"objects":[{"name":"a","polygon":[]},{"name":"b","polygon":[]}]}
        """
    ),
    "print": pairs(
        """
        total toolchanges=0
        filament used [mm]=1234.56
        filament used [cm3]=2.97
        filament used [g]=3.68
        filament cost=0.09
        total filament used [g]=3.68
        total filament cost=0.09
        estimated printing time (normal mode)=1h 1m 44s
        estimated printing time (silent mode)=1d 2h 3m 4s
        estimated first layer printing time (normal mode)=45s
        estimated first layer printing time (silent mode)=0s
        """
    ),
    "slicer": pairs(
        "first_layer_height=0.3\nfirst_layer_temperature=220\nfirst_layer_bed_temperature=65\n"
        "filament_colour=#ff8000"
    ),
}

SUMMARY_CASES = {
    "no metadata": ({}, Summary()),
    "empty kinds": ({"file": [], "printer": {}, "print": [], "slicer": {}}, Summary()),
    "one extruder": (
        ONE_EXTRUDER,
        Summary(
            producer_name="Strataly",
            producer_version="1.3.0",
            produced_on=datetime(2026, 12, 10, 10, 1, 51, tzinfo=UTC),
            printer_model="ST1",
            extruder_count=1,
            nozzle_diameters=(0.4,),
            filament_types=("PLA",),
            filament_colours=("#FF8000",),
            filament_used_mm=(1234.56,),
            filament_used_cm3=(2.97,),
            filament_used_g=(3.68,),
            filament_cost=(0.09,),
            total_filament_used_g=3.68,
            total_filament_cost=0.09,
            estimated_time=timedelta(hours=1, minutes=1, seconds=44),
            estimated_time_silent=timedelta(days=1, hours=2, minutes=3, seconds=4),
            first_layer_time=timedelta(seconds=45),
            first_layer_time_silent=timedelta(0),
            layer_height=0.2,
            first_layer_height=0.3,
            print_height=12.5,
            nozzle_temperatures=(215.0,),
            first_layer_nozzle_temperatures=(220.0,),
            bed_temperatures=(60.0,),
            first_layer_bed_temperatures=(65.0,),
            infill_percent=15.0,
            supports=True,
            objects=("a", "b"),
            toolchanges=0,
        ),
    ),
    "two extruders, durations without spaces": (
        {
            "file": [("Producer", "Strataly 2.0.0-beta1")],
            "printer": {
                "nozzle_diameter": "0.4,0.6",
                "filament_type": "PLA;PETG",
                "temperature": "215,240",
                "bed_temperature": "60,80",
                "filament used [mm]": "1000.5, 234.1",
                "filament used [g]": "3.0, 0.75",
                "total filament used for wipe tower [g]": "0.42",
                "estimated printing time (normal mode)": "2h5m",
            },
            "print": {"total toolchanges": "12"},
            "slicer": {"filament_colour": '"#FF0000";"#00ff00"', "extruder_colour": '"";""'},
        },
        Summary(
            producer_name="Strataly",
            producer_version="2.0.0-beta1",
            extruder_count=2,
            nozzle_diameters=(0.4, 0.6),
            filament_types=("PLA", "PETG"),
            filament_colours=("#FF0000", "#00FF00"),
            filament_used_mm=(1000.5, 234.1),
            filament_used_g=(3.0, 0.75),
            wipe_tower_filament_g=0.42,
            estimated_time=timedelta(hours=2, minutes=5),
            nozzle_temperatures=(215.0, 240.0),
            bed_temperatures=(60.0, 80.0),
            toolchanges=12,
        ),
    ),
}


@pytest.mark.parametrize("metadata, expected", SUMMARY_CASES.values(), ids=SUMMARY_CASES)
def test_summary_of_metadata(metadata, expected):
    assert summarize(metadata) == expected


# One value in one kind, and the field it gives: odd values give None, never an exception.
FIELD_CASES = [
    ("file", "Producer", "Strataly", "producer_name", "Strataly"),
    ("file", "Producer", "Strataly", "producer_version", None),
    ("file", "Producer", "My Slicer 4.1", "producer_name", "My Slicer"),
    (
        "file",
        "Produced on",
        "2026-01-02T03:04:05+00:00",
        "produced_on",
        datetime(2026, 1, 2, 3, 4, 5, tzinfo=UTC),
    ),
    ("file", "Produced on", "yesterday", "produced_on", None),
    ("printer", "printer_model", '""', "printer_model", None),
    ("printer", "printer_model", "   ", "printer_model", None),
    ("printer", "nozzle_diameter", "0.4mm", "nozzle_diameters", (0.4,)),
    ("printer", "nozzle_diameter", "0.4,,0.4", "nozzle_diameters", None),
    ("printer", "nozzle_diameter", "0.4,abc", "extruder_count", None),
    ("printer", "nozzle_diameter", "-0.4", "nozzle_diameters", None),
    ("printer", "nozzle_diameter", ".5", "nozzle_diameters", (0.5,)),
    ("printer", "temperature", "60%", "nozzle_temperatures", None),
    ("printer", "temperature", "nan", "nozzle_temperatures", None),
    ("printer", "temperature", "1e999", "nozzle_temperatures", None),
    ("printer", "temperature", "205.5", "nozzle_temperatures", (205.5,)),
    ("printer", "fill_density", "20", "infill_percent", 20.0),
    ("printer", "fill_density", "20 %", "infill_percent", 20.0),
    ("printer", "fill_density", "20mm", "infill_percent", None),
    ("printer", "layer_height", "0.2 mm", "layer_height", 0.2),
    ("printer", "layer_height", "1,000", "layer_height", None),
    ("slicer", "first_layer_height", "75%", "first_layer_height", None),
    ("printer", "support_material", "maybe", "supports", None),
    ("printer", "support_material", "False", "supports", False),
    ("printer", "filament_type", '""', "filament_types", None),
    ("printer", "filament_type", "PLA,,ABS", "filament_types", ("PLA", "", "ABS")),
    ("slicer", "filament_colour", "red", "filament_colours", None),
    ("printer", "objects_info", "not json", "objects", None),
    ("printer", "objects_info", '{"objects":[{"polygon":[]}]}', "objects", None),
    ("printer", "objects_info", '{"objects":[{"name":7}]}', "objects", None),
    ("printer", "objects_info", "[" * 100_000, "objects", None),
    ("printer", "objects_info", '{"objects":[]}', "objects", ()),
    ("print", "total toolchanges", "3.5", "toolchanges", None),
    ("print", "total toolchanges", "\u0663", "toolchanges", None),  # a digit, but not 0-9
    ("print", "total toolchanges", "9" * 5000, "toolchanges", None),
    ("print", "filament cost", "0.50 EUR", "filament_cost", None),
    ("print", "filament used [g]", "3.5g", "filament_used_g", (3.5,)),
    ("print", "filament used [cm3]", "2.5 cm3", "filament_used_cm3", (2.5,)),
]


@pytest.mark.parametrize("kind, key, value, field, expected", FIELD_CASES)
def test_field_of_one_value(kind, key, value, field, expected):
    assert getattr(summarize({kind: [(key, value)]}), field) == expected


DURATIONS = [
    ("1d 2h 3m 4s", timedelta(days=1, hours=2, minutes=3, seconds=4)),
    ("1d2h3m4s", timedelta(days=1, hours=2, minutes=3, seconds=4)),
    ("2h 5m", timedelta(hours=2, minutes=5)),
    ("0m 22s", timedelta(seconds=22)),
    ("45s", timedelta(seconds=45)),
    ("0s", timedelta(0)),
    (" 3 d ", timedelta(days=3)),
    ("90m", timedelta(minutes=90)),
    ("", None),
    ("45", None),
    ("s", None),
    ("1h 1h", None),
    ("5m 1h", None),
    ("1.5h", None),
    ("-5s", None),
    ("1h 5x", None),
    ("1 h" + " " * 100_000 + "x", None),
    ("9" * 20 + "d", None),  # beyond what a timedelta holds
    ("9" * 5000 + "s", None),
]


@pytest.mark.parametrize("text, expected", DURATIONS)
def test_durations(text, expected):
    metadata = {"print": [("estimated printing time (normal mode)", text)]}
    assert summarize(metadata).estimated_time == expected


def test_where_each_value_is_looked_up():
    metadata = {
        # A repeated key counts with its first value; a blank value is not there at all.
        "printer": ReaderMetadata(
            [
                ("printer_model", "first"),
                ("printer_model", "second"),
                ("layer_height", " "),
                ("filament used [g]", "2"),
                ("temperature", "200"),
            ]
        ),
        "print": [("filament used [g]", "1")],
        "slicer": [("layer_height", "0.3"), ("temperature", "210")],
        "unknown kind": [("printer_model", "elsewhere")],
    }
    summary = summarize(metadata)
    assert summary.printer_model == "first"
    assert summary.layer_height == 0.3  # settings: printer metadata, then slicer
    assert summary.nozzle_temperatures == (200.0,)
    assert summary.filament_used_g == (1.0,)  # figures: print metadata, then printer


def test_pairs_that_are_not_text_are_skipped():
    metadata = {"printer": [("printer_model", None), (3, "x"), ("a",), ("printer_model", "M")]}
    assert summarize(metadata).printer_model == "M"
    with pytest.raises(TypeError):
        summarize([("printer", [])])


def test_to_dict_is_json_data():
    summary = summarize(SUMMARY_CASES["one extruder"][0])
    data = json.loads(json.dumps(summary.to_dict()))
    assert data["produced_on"] == "2026-12-10T10:01:51+00:00"
    assert data["estimated_time"] == 3704.0
    assert data["nozzle_temperatures"] == [215.0]
    assert data["objects"] == ["a", "b"]
    assert data["wipe_tower_filament_g"] is None
    assert set(data) == set(Summary.__dataclass_fields__)


# --- the corpus, in both formats ----------------------------------------------------------

BRACKET_SUMMARY = Summary(
    producer_name="Strataly",
    producer_version="1.3.0",
    produced_on=datetime(2026, 12, 10, 10, 1, 51, tzinfo=UTC),
    printer_model="ST1",
    extruder_count=1,
    nozzle_diameters=(0.5,),
    filament_types=("PLA",),
    filament_colours=("#FFFFFF",),
    filament_used_mm=(1350.2,),
    filament_used_cm3=(9.5,),
    filament_used_g=(11.78,),
    filament_cost=(0.29,),
    total_filament_used_g=11.78,
    total_filament_cost=0.29,
    estimated_time=timedelta(hours=1, minutes=5, seconds=5),
    estimated_time_silent=timedelta(hours=1, minutes=8, seconds=20),
    first_layer_time=timedelta(seconds=22),
    first_layer_time_silent=timedelta(seconds=23),
    layer_height=0.2,
    first_layer_height=0.35,
    print_height=34.95,
    nozzle_temperatures=(200.0,),
    first_layer_nozzle_temperatures=(200.0,),
    bed_temperatures=(0.0,),
    first_layer_bed_temperatures=(0.0,),
    infill_percent=20.0,
    supports=False,
    objects=("model",),
)

CORPUS = [
    pytest.param(BRACKET, BRACKET_SUMMARY, id="bracket"),
    pytest.param(
        LOGO,
        replace(
            BRACKET_SUMMARY,
            produced_on=datetime(2026, 12, 10, 10, 2, 0, tzinfo=UTC),
            filament_used_mm=(13788.2,),
            filament_used_cm3=(97.5,),
            filament_used_g=(120.9,),
            filament_cost=(3.02,),
            total_filament_used_g=120.9,
            total_filament_cost=3.02,
            estimated_time=timedelta(hours=20, minutes=16, seconds=22),
            estimated_time_silent=timedelta(hours=21, minutes=17, seconds=11),
            first_layer_time=timedelta(minutes=1, seconds=24),
            first_layer_time_silent=timedelta(minutes=1, seconds=28),
            layer_height=0.1,
            print_height=86.55,
            infill_percent=40.0,
        ),
        id="logo",
        marks=pytest.mark.skipif(not LOGO.exists(), reason="the shared corpus is not there"),
    ),
]


@pytest.mark.parametrize("source, expected", CORPUS)
def test_corpus_summary_in_both_formats(source, expected, tmp_path):
    """The facts of the slicer's comments, read from the binary file, and again after the
    binary file went back to ASCII and to binary once more."""
    binary = tmp_path / "file.qgcode"
    pyquarn.convert(source, binary)
    ascii_again = pyquarn.convert(binary, tmp_path / "again.gcode").output
    binary_again = pyquarn.convert(ascii_again, tmp_path / "again.qgcode").output
    assert summarize(binary_metadata(binary)) == expected
    assert summarize(binary_metadata(binary_again)) == expected
    # The readers of both formats give it, from a path and from bytes alike.
    for item in (source, binary, source.read_bytes(), binary.read_bytes()):
        with pyquarn.open(item) as reader:
            assert reader.summary == expected


def test_readers_choose_thumbnails_alike(tmp_path):
    binary = tmp_path / "bracket.qgcode"
    pyquarn.convert(BRACKET, binary)
    for item in (BRACKET, binary):
        with pyquarn.open(item) as reader:
            assert reader.thumbnail() is reader.thumbnails[1]  # the largest, PNG first
            assert reader.thumbnail(16, 16) is reader.thumbnails[0]
            assert reader.thumbnail(100, 100, formats=("qoi",)) is reader.thumbnails[3]
            assert reader.thumbnail(formats="JPG") is reader.thumbnails[2]


# --- thumbnails ---------------------------------------------------------------------------


@pytest.fixture(scope="module")
def bracket_thumbnails(tmp_path_factory) -> list[Thumbnail]:
    binary = tmp_path_factory.mktemp("summary") / "bracket.qgcode"
    pyquarn.convert(BRACKET, binary)
    thumbs = list(pyquarn.thumbnails(binary))
    assert [(t.format.name, t.width, t.height) for t in thumbs] == [
        ("PNG", 16, 16),
        ("PNG", 160, 120),
        ("JPG", 160, 120),
        ("QOI", 160, 120),
    ]
    return thumbs


PNG, JPG, QOI = EThumbnailFormat.PNG, EThumbnailFormat.JPG, EThumbnailFormat.QOI

# (width, height, formats or None for the default): index of the chosen thumbnail.
CHOICES = [
    (None, None, None, 1),  # no size asked: the largest, PNG first
    (16, 16, None, 0),
    (10, None, None, 0),
    (None, 17, None, 1),
    (17, 10, None, 1),
    (160, 120, None, 1),
    (161, 120, None, 1),  # none large enough: the largest
    (1000, 1000, None, 1),
    (16, 16, ("QOI", "PNG"), 0),  # size decides first, format breaks ties
    (100, 100, ("QOI", "PNG"), 3),
    (16, 16, ("jpg", "qoi"), 2),
    (None, None, [QOI], 3),
    (None, None, "Jpg", 2),
    (0, 0, (PNG, PNG, JPG), 0),
]


@pytest.mark.parametrize("width, height, formats, chosen", CHOICES)
def test_thumbnail_choice(bracket_thumbnails, width, height, formats, chosen):
    options = {} if formats is None else {"formats": formats}
    result = choose_thumbnail(bracket_thumbnails, width, height, **options)
    assert result is bracket_thumbnails[chosen]


def test_thumbnail_choice_without_a_match():
    first, second = Thumbnail(PNG, 8, 8, b"a"), Thumbnail(PNG, 8, 8, b"b")
    assert choose_thumbnail([first, second], 4, 4) is first  # equal: the earlier one
    assert choose_thumbnail([]) is None
    assert choose_thumbnail([first], formats=("QOI", "JPG")) is None
    assert choose_thumbnail([first], formats=()) is None
    with pytest.raises(ValueError):
        choose_thumbnail([first], formats=("GIF",))
    with pytest.raises(ValueError):
        choose_thumbnail([first], width=-1)


# --- lines for a terminal -----------------------------------------------------------------


@pytest.mark.parametrize(
    "duration, text",
    [
        (timedelta(0), "0 s"),
        (timedelta(seconds=45), "45 s"),
        (timedelta(minutes=5), "5 min 00 s"),
        (timedelta(hours=1, minutes=1, seconds=44), "1 h 01 min 44 s"),
        (timedelta(days=2, minutes=5), "2 d 00 h 05 min 00 s"),
    ],
)
def test_duration_text(duration, text):
    assert format_duration(duration) == text


def test_summary_lines():
    assert format_summary(summarize(ONE_EXTRUDER)) == [
        "Producer            Strataly 1.3.0, 2026-12-10 10:01:51 UTC",
        "Printer             ST1",
        "Estimated time      1 h 01 min 44 s (silent mode 1 d 02 h 03 min 04 s)",
        "Filament            3.68 g (1,234.6 mm) PLA",
        "Filament cost       0.09",
        "Extruders           1",
        "Nozzle              0.4 mm",
        "Layer height        0.2 mm (first layer 0.3 mm)",
        "Nozzle temperature  215 °C (first layer 220 °C)",
        "Bed temperature     60 °C (first layer 65 °C)",
        "Infill              15 %",
        "Supports            yes",
        "Height              12.5 mm",
        "Objects             2: a, b",
        "Tool changes        0",
    ]
    two = summarize(SUMMARY_CASES["two extruders, durations without spaces"][0])
    assert format_summary(two) == [
        "Producer            Strataly 2.0.0-beta1",
        "Estimated time      2 h 05 min 00 s",
        "Filament            3.75 g (1,234.6 mm) PLA, PETG",
        "Extruders           2",
        "Nozzle              0.4, 0.6 mm",
        "Nozzle temperature  215, 240 °C",
        "Bed temperature     60, 80 °C",
        "Tool changes        12",
    ]
    assert format_summary(Summary()) == []

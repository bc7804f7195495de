"""What a print host shows of a G-code file: a typed summary of its metadata and the
thumbnail that suits a display.

The summary is read from the file's metadata alone (the "file", "printer", "print" and
"slicer" kinds), which a binary file stores and an ASCII slicer file carries in its comments,
so both formats of the same print give the same summary. Values are parsed leniently: text
that cannot be read as the field's type gives None, and the raw text stays in the metadata.
"""

from __future__ import annotations

import json
import math
import re
from collections.abc import Iterable, Mapping, Sequence
from dataclasses import asdict, dataclass
from datetime import datetime, timedelta, timezone
from typing import Any

from _quarn import EThumbnailFormat

from .thumbnail import Thumbnail, _thumbnail_format

UTC = timezone.utc  # datetime.UTC from Python 3.11 on

# A kind's metadata: a mapping of key to value, or (key, value) pairs in file order.
KindMetadata = Mapping[str, str] | Iterable[tuple[str, str]]

DEFAULT_FORMATS = ("PNG", "JPG", "QOI")


@dataclass(frozen=True)
class Summary:
    """The facts of a print that hosts and file browsers show, each None when the file does
    not carry it or carries text that cannot be read as the field's type.

    Lengths are in millimetres, temperatures in degrees Celsius, durations are
    `datetime.timedelta`. Fields named in the plural hold one value per extruder, in extruder
    order, as the slicer writes them ('0.4,0.6'); a list with an unreadable entry is None as a
    whole."""

    producer_name: str | None = None
    """The program that wrote the file ("Strataly" of the "Producer" value "Strataly 1.3.0")."""
    producer_version: str | None = None
    """Its version ("1.3.0"); None when the "Producer" value has no word starting with a digit
    after the name."""
    produced_on: datetime | None = None
    """When the file was produced ("Produced on"), in UTC when the value says so."""
    printer_model: str | None = None
    """The printer the print was sliced for."""
    extruder_count: int | None = None
    """The number of extruders: how many nozzle diameters the file lists."""
    nozzle_diameters: tuple[float, ...] | None = None
    """Nozzle diameter of each extruder, mm."""
    filament_types: tuple[str, ...] | None = None
    """Filament type of each extruder ("PLA"), as written; entries split at ';' or ','."""
    filament_colours: tuple[str, ...] | None = None
    """Filament colour of each extruder as "#RRGGBB"."""
    filament_used_mm: tuple[float, ...] | None = None
    """Length of filament each extruder uses, mm."""
    filament_used_cm3: tuple[float, ...] | None = None
    """Volume of filament each extruder uses, cm3."""
    filament_used_g: tuple[float, ...] | None = None
    """Weight of filament each extruder uses, g."""
    filament_cost: tuple[float, ...] | None = None
    """Cost of the filament each extruder uses, in the slicer's currency."""
    total_filament_used_g: float | None = None
    """Weight of all filament used, wipe tower included, g."""
    total_filament_cost: float | None = None
    """Cost of all filament used, in the slicer's currency."""
    wipe_tower_filament_g: float | None = None
    """Weight of filament spent on the wipe tower, g."""
    estimated_time: timedelta | None = None
    """Estimated printing time in the printer's normal mode."""
    estimated_time_silent: timedelta | None = None
    """Estimated printing time in the printer's silent mode."""
    first_layer_time: timedelta | None = None
    """Estimated printing time of the first layer, normal mode."""
    first_layer_time_silent: timedelta | None = None
    """Estimated printing time of the first layer, silent mode."""
    layer_height: float | None = None
    """Layer height, mm."""
    first_layer_height: float | None = None
    """First layer height, mm; None when given as a percentage."""
    print_height: float | None = None
    """Height of the top of the print, mm."""
    nozzle_temperatures: tuple[float, ...] | None = None
    """Nozzle temperature of each extruder, degrees Celsius."""
    first_layer_nozzle_temperatures: tuple[float, ...] | None = None
    """Nozzle temperature of each extruder for the first layer, degrees Celsius."""
    bed_temperatures: tuple[float, ...] | None = None
    """Bed temperature for each extruder's filament, degrees Celsius (0: bed not heated)."""
    first_layer_bed_temperatures: tuple[float, ...] | None = None
    """Bed temperature for each extruder's filament for the first layer, degrees Celsius."""
    infill_percent: float | None = None
    """Infill density, percent (20.0 for "20%")."""
    supports: bool | None = None
    """Whether support material is generated."""
    objects: tuple[str, ...] | None = None
    """Names of the objects on the bed, in the slicer's order."""
    toolchanges: int | None = None
    """Number of tool changes during the print."""

    def to_dict(self) -> dict[str, Any]:
        """Plain data for JSON: every field by name, tuples as lists, durations as float
        seconds, the production time as an ISO 8601 string, None as None."""
        return {name: _plain(value) for name, value in asdict(self).items()}


def summarize(metadata: Mapping[str, KindMetadata]) -> Summary:
    """The summary of a file's metadata: `metadata` maps the kinds "file", "printer",
    "print" and "slicer" to a mapping of key to value or to (key, value) pairs; a kind may be
    left out. Where a key occurs more than once in a kind, its first value counts.

    Settings are looked up in the printer metadata, then in the slicer metadata; figures of
    the print (filament used, times) in the print metadata, then in the printer metadata.
    Never raises for a value it cannot read: that field is None."""
    find = _Finder(metadata)
    name, version = _producer(find.value("Producer", "file"))
    nozzles = _numbers(find.setting("nozzle_diameter"), _LENGTH)
    return Summary(
        producer_name=name,
        producer_version=version,
        produced_on=_timestamp(find.value("Produced on", "file")),
        printer_model=_text(find.setting("printer_model")),
        extruder_count=len(nozzles) if nozzles is not None else None,
        nozzle_diameters=nozzles,
        filament_types=_texts(find.setting("filament_type")),
        filament_colours=_colours(find.setting("filament_colour")),
        filament_used_mm=_numbers(find.figure("filament used [mm]"), _LENGTH),
        filament_used_cm3=_numbers(find.figure("filament used [cm3]"), ("cm3",)),
        filament_used_g=_numbers(find.figure("filament used [g]"), _WEIGHT),
        filament_cost=_numbers(find.figure("filament cost")),
        total_filament_used_g=_number(find.figure("total filament used [g]"), _WEIGHT),
        total_filament_cost=_number(find.figure("total filament cost")),
        wipe_tower_filament_g=_number(
            find.figure("total filament used for wipe tower [g]"), _WEIGHT
        ),
        estimated_time=_duration(find.figure("estimated printing time (normal mode)")),
        estimated_time_silent=_duration(find.figure("estimated printing time (silent mode)")),
        first_layer_time=_duration(
            find.figure("estimated first layer printing time (normal mode)")
        ),
        first_layer_time_silent=_duration(
            find.figure("estimated first layer printing time (silent mode)")
        ),
        layer_height=_number(find.setting("layer_height"), _LENGTH),
        first_layer_height=_number(find.setting("first_layer_height"), _LENGTH),
        print_height=_number(find.setting("max_layer_z"), _LENGTH),
        nozzle_temperatures=_numbers(find.setting("temperature"), _TEMPERATURE),
        first_layer_nozzle_temperatures=_numbers(
            find.setting("first_layer_temperature"), _TEMPERATURE
        ),
        bed_temperatures=_numbers(find.setting("bed_temperature"), _TEMPERATURE),
        first_layer_bed_temperatures=_numbers(
            find.setting("first_layer_bed_temperature"), _TEMPERATURE
        ),
        infill_percent=_number(find.setting("fill_density"), ("%",)),
        supports=_flag(find.setting("support_material")),
        objects=_object_names(find.setting("objects_info")),
        toolchanges=_count(find.figure("total toolchanges")),
    )


def choose_thumbnail(
    thumbnails: Iterable[Thumbnail],
    width: int | None = None,
    height: int | None = None,
    formats: Iterable[str | EThumbnailFormat] | str | EThumbnailFormat = DEFAULT_FORMATS,
) -> Thumbnail | None:
    """The thumbnail that best fills a display of `width` x `height` pixels, or None when no
    thumbnail has one of `formats`.

    Only thumbnails in one of `formats` (names in any case, or EThumbnailFormat members) are
    considered. Among them: the smallest (by pixel count) at least `width` wide and `height`
    high, else the largest; a size left None places no requirement on that side, and with
    neither given the largest is chosen. Among thumbnails of the chosen pixel count, the
    format earlier in `formats` wins, then the one earlier in the file.

    Raises ValueError for an unknown format name or a negative size."""
    preference = _format_preference(formats)
    for name, side in (("width", width), ("height", height)):
        if side is not None and side < 0:
            raise ValueError(f"thumbnail {name} must not be negative, not {side}")
    candidates = [thumb for thumb in thumbnails if thumb.format in preference]
    if not candidates:
        return None

    def area(thumb: Thumbnail) -> int:
        return thumb.width * thumb.height

    def rank(thumb: Thumbnail) -> int:
        return preference[thumb.format]

    large_enough = [
        thumb
        for thumb in candidates
        if (width is None or thumb.width >= width) and (height is None or thumb.height >= height)
    ]
    if large_enough and (width is not None or height is not None):
        return min(large_enough, key=lambda thumb: (area(thumb), rank(thumb)))
    return min(candidates, key=lambda thumb: (-area(thumb), rank(thumb)))


def format_summary(summary: Summary) -> list[str]:
    """The summary as lines for a terminal, one fact per line, a label then its value with
    the values aligned: "Estimated time  1 h 01 min 44 s". Facts the file does not carry are
    left out; an empty summary gives no lines."""
    rows = [(label, value) for label, value in _facts(summary) if value]
    width = max((len(label) for label, _ in rows), default=0) + 2
    return [f"{label:<{width}}{value}" for label, value in rows]


def format_duration(duration: timedelta) -> str:
    """ "1 h 01 min 44 s", "2 d 00 h 05 min 00 s", "45 s": the leading unit unpadded, the
    others in two digits."""
    seconds = int(duration.total_seconds())
    minutes, seconds = divmod(seconds, 60)
    hours, minutes = divmod(minutes, 60)
    days, hours = divmod(hours, 24)
    parts = [(days, "d"), (hours, "h"), (minutes, "min"), (seconds, "s")]
    while len(parts) > 1 and parts[0][0] == 0:
        parts.pop(0)
    first, *rest = parts
    return " ".join([f"{first[0]} {first[1]}", *(f"{value:02d} {unit}" for value, unit in rest)])


# --- looking values up --------------------------------------------------------------------


class _Finder:
    """The metadata of each kind as a dict keeping the first value of every key."""

    def __init__(self, metadata: Mapping[str, KindMetadata]) -> None:
        if not isinstance(metadata, Mapping):
            raise TypeError(f"metadata must map kinds to metadata, not {type(metadata).__name__}")
        self._kinds: dict[str, dict[str, str]] = {}
        for kind, content in metadata.items():
            pairs = content.items() if isinstance(content, Mapping) else content
            first: dict[str, str] = {}
            for pair in pairs:
                if isinstance(pair, tuple | list) and len(pair) == 2:
                    key, value = pair
                    if isinstance(key, str) and isinstance(value, str):
                        first.setdefault(key, value)
            self._kinds[kind] = first

    def value(self, key: str, *kinds: str) -> str | None:
        """The first value of `key` that is not blank, in the first of `kinds` having one."""
        for kind in kinds:
            value = self._kinds.get(kind, {}).get(key)
            if value is not None and value.strip():
                return value
        return None

    def setting(self, key: str) -> str | None:
        return self.value(key, "printer", "slicer")

    def figure(self, key: str) -> str | None:
        return self.value(key, "print", "printer")


# --- parsing values -----------------------------------------------------------------------

# Unit suffixes each field accepts after its number; any other suffix makes the value None.
_LENGTH = ("mm",)
_WEIGHT = ("g",)
_TEMPERATURE = ("°C", "C")

_NUMBER = re.compile(r"\+?(?:\d+(?:\.\d*)?|\.\d+)(?:[eE][+-]?\d+)?", re.ASCII)
_COLOUR = re.compile(r"#[0-9A-Fa-f]{6}", re.ASCII)
_DURATION_PART = re.compile(r"(\d+)\s*([dhms])\s*", re.ASCII)
_DURATION_UNITS = {"d": 86400, "h": 3600, "m": 60, "s": 1}
_TIMESTAMP_FORMATS = ("%Y-%m-%d at %H:%M:%S UTC", "%Y-%m-%d %H:%M:%S UTC")
_FLAGS = {"1": True, "true": True, "yes": True, "0": False, "false": False, "no": False}


def _number(text: str | None, units: Sequence[str] = ()) -> float | None:
    """A finite, non-negative number, optionally followed by one of `units`."""
    if text is None:
        return None
    text = text.strip()
    match = _NUMBER.match(text)
    if match is None or text[match.end() :].strip() not in ("", *units):
        return None
    value = float(match.group())
    return value if math.isfinite(value) else None


def _numbers(text: str | None, units: Sequence[str] = ()) -> tuple[float, ...] | None:
    """A comma list of numbers (one per extruder); None if any entry cannot be read."""
    if text is None:
        return None
    values = []
    for item in text.split(","):
        value = _number(item, units)
        if value is None:
            return None
        values.append(value)
    return tuple(values)


def _text(text: str | None) -> str | None:
    if text is None:
        return None
    text = _unquote(text)
    return text or None


def _texts(text: str | None) -> tuple[str, ...] | None:
    """A list of words, one per extruder, separated by ';' (or ',' when there is no ';')."""
    if text is None:
        return None
    items = tuple(_unquote(item) for item in text.split(";" if ";" in text else ","))
    return items if any(items) else None


def _colours(text: str | None) -> tuple[str, ...] | None:
    items = _texts(text)
    if items is None or not all(_COLOUR.fullmatch(item) for item in items):
        return None
    return tuple(item.upper() for item in items)


def _unquote(text: str) -> str:
    text = text.strip()
    if len(text) >= 2 and text[0] == text[-1] == '"':
        text = text[1:-1].strip()
    return text


def _duration(text: str | None) -> timedelta | None:
    """'1d 2h 3m 4s', '2h 5m', '45s', '0s', with or without spaces; units in that order, each
    at most once."""
    if text is None:
        return None
    text = text.strip()
    seconds, position, last_unit = 0, 0, -1
    units = list(_DURATION_UNITS)
    while position < len(text):
        match = _DURATION_PART.match(text, position)
        if match is None:
            return None
        unit = units.index(match.group(2))
        if unit <= last_unit:
            return None
        try:
            seconds += int(match.group(1)) * _DURATION_UNITS[match.group(2)]
        except ValueError:  # more digits than int() takes
            return None
        position, last_unit = match.end(), unit
    if last_unit < 0:
        return None
    try:
        return timedelta(seconds=seconds)
    except OverflowError:
        return None


def _count(text: str | None) -> int | None:
    if text is None or not text.strip().isdigit() or not text.strip().isascii():
        return None
    try:
        return int(text.strip())
    except ValueError:  # more digits than int() takes
        return None


def _flag(text: str | None) -> bool | None:
    return None if text is None else _FLAGS.get(text.strip().lower())


def _producer(text: str | None) -> tuple[str | None, str | None]:
    """("Strataly", "1.3.0") of "Strataly 1.3.0"; a value without a version is all name."""
    if text is None:
        return None, None
    name, _, version = text.strip().rpartition(" ")
    if name and version[:1].isdigit():
        return name.strip(), version
    return text.strip(), None


def _timestamp(text: str | None) -> datetime | None:
    if text is None:
        return None
    text = text.strip()
    for layout in _TIMESTAMP_FORMATS:
        try:
            return datetime.strptime(text, layout).replace(tzinfo=UTC)
        except ValueError:
            pass
    try:
        return datetime.fromisoformat(text)
    except ValueError:
        return None


def _object_names(text: str | None) -> tuple[str, ...] | None:
    """The names of '{"objects":[{"name":"model",...},...]}'."""
    if text is None:
        return None
    try:
        objects = json.loads(text).get("objects")
        names = tuple(item["name"] for item in objects)
    except (ValueError, RecursionError, AttributeError, TypeError, KeyError):
        return None
    return names if all(isinstance(name, str) for name in names) else None


# --- thumbnails and rendering -------------------------------------------------------------


def _format_preference(
    formats: Iterable[str | EThumbnailFormat] | str | EThumbnailFormat,
) -> dict[EThumbnailFormat, int]:
    """Each allowed format with its rank, 0 the most wanted."""
    if isinstance(formats, str | EThumbnailFormat):
        formats = [formats]
    preference: dict[EThumbnailFormat, int] = {}
    for item in formats:
        preference.setdefault(_thumbnail_format(item), len(preference))
    return preference


def _plain(value: object) -> object:
    if isinstance(value, timedelta):
        return value.total_seconds()
    if isinstance(value, datetime):
        return value.isoformat()
    if isinstance(value, tuple):
        return [_plain(item) for item in value]
    return value


def _facts(summary: Summary) -> list[tuple[str, str | None]]:
    s = summary
    producer = [" ".join(part for part in (s.producer_name, s.producer_version) if part)]
    if s.produced_on is not None:
        producer.append(_format_timestamp(s.produced_on))
    return [
        ("Producer", ", ".join(part for part in producer if part)),
        ("Printer", s.printer_model),
        ("Estimated time", _format_times(s.estimated_time, s.estimated_time_silent)),
        ("Filament", _format_filament(s)),
        ("Filament cost", _format_cost(s)),
        ("Extruders", str(s.extruder_count) if s.extruder_count is not None else None),
        ("Nozzle", _format_list(s.nozzle_diameters, " mm")),
        ("Layer height", _with_first_layer(s.layer_height, s.first_layer_height, " mm")),
        (
            "Nozzle temperature",
            _with_first_layer(s.nozzle_temperatures, s.first_layer_nozzle_temperatures, " °C"),
        ),
        (
            "Bed temperature",
            _with_first_layer(s.bed_temperatures, s.first_layer_bed_temperatures, " °C"),
        ),
        ("Infill", f"{s.infill_percent:g} %" if s.infill_percent is not None else None),
        ("Supports", {True: "yes", False: "no", None: None}[s.supports]),
        ("Height", f"{s.print_height:g} mm" if s.print_height is not None else None),
        ("Objects", _format_objects(s.objects)),
        ("Tool changes", str(s.toolchanges) if s.toolchanges is not None else None),
    ]


def _format_timestamp(moment: datetime) -> str:
    text = moment.strftime("%Y-%m-%d %H:%M:%S")
    return f"{text} UTC" if moment.tzinfo is UTC else text


def _format_times(normal: timedelta | None, silent: timedelta | None) -> str | None:
    if normal is None:
        return f"{format_duration(silent)} (silent mode)" if silent is not None else None
    if silent is None or silent == normal:
        return format_duration(normal)
    return f"{format_duration(normal)} (silent mode {format_duration(silent)})"


def _format_filament(s: Summary) -> str | None:
    grams = s.total_filament_used_g
    if grams is None and s.filament_used_g is not None:
        grams = sum(s.filament_used_g)
    length = sum(s.filament_used_mm) if s.filament_used_mm is not None else None
    parts = []
    if grams is not None:
        parts.append(f"{grams:,.2f} g")
    if length is not None:
        parts.append(f"({length:,.1f} mm)" if parts else f"{length:,.1f} mm")
    if s.filament_types is not None:
        parts.append(", ".join(kind for kind in s.filament_types if kind))
    return " ".join(part for part in parts if part) or None


def _format_cost(s: Summary) -> str | None:
    cost = s.total_filament_cost
    if cost is None and s.filament_cost is not None:
        cost = sum(s.filament_cost)
    return f"{cost:,.2f}" if cost is not None else None


def _format_list(values: tuple[float, ...] | float | None, unit: str) -> str | None:
    if values is None:
        return None
    if isinstance(values, float):
        values = (values,)
    return ", ".join(f"{value:g}" for value in values) + unit


_Values = tuple[float, ...] | float | None


def _with_first_layer(values: _Values, first_layer: _Values, unit: str) -> str | None:
    """ "0.2 mm (first layer 0.3 mm)"; the first layer's value only when it differs."""
    text = _format_list(values, unit)
    first = _format_list(first_layer, unit)
    if text is None:
        return f"{first} (first layer)" if first is not None else None
    if first is None or first == text:
        return text
    return f"{text} (first layer {first})"


def _format_objects(names: tuple[str, ...] | None) -> str | None:
    if names is None:
        return None
    listed = ", ".join(name for name in names if name)
    return f"{len(names)}: {listed}" if listed else str(len(names))

"""Reading the inputs of a report: results tables, the optional mesh sizes and setting labels.

Every reader returns what it could read and the number of problems it named on standard error
(one line each, naming the file and the line), so that a report can go on without the bad rows
and still end with a status that tells something was refused.
"""

import math
import os
import re
import sys
from dataclasses import dataclass
from typing import Optional

# The columns of a results table, by header name; the model's name has an empty header.
MODEL, NOISE, RADIUS = "", "Sigma noise", "Radius"
REPEATABLE, SCALE_SUM = "Repeatable Keypoints", "TotScaleRepeatability"
THRESHOLD = "RepeatabilityTh"
MODEL_KEYPOINTS, NON_OCCLUDED = "Model Keypoints", "Non-occluded Keypoints"
SCENE_KEYPOINTS, SCENE_NAME = "Scene Keypoints", "Scene Name"
RESULT_COLUMNS = [MODEL, NOISE, RADIUS, REPEATABLE, SCALE_SUM, THRESHOLD, MODEL_KEYPOINTS,
                  NON_OCCLUDED, SCENE_KEYPOINTS, SCENE_NAME]
MESH_COLUMNS = ["Mesh", "Vertices"]
SETTING_COLUMNS = ["Detector ID", "Detector", "Setting", "Keep"]
KEEP_SUFFIX = re.compile(r"^(.+)_keep-([0-9]+(?:\.[0-9]+)?)$")


class MalformedRow(ValueError):
    """A row that cannot be used; its message says why."""


def warn(message):
    print(f"ardentis-report: {message}", file=sys.stderr)


def scene_of(scene_name):
    """The scene of a Scene Name: the name without its trailing "_<noise>" (scene-003_0.1 ->
    scene-003); a name without a numeric suffix is its own scene."""
    stem, _, suffix = scene_name.rpartition("_")
    try:
        float(suffix)
    except ValueError:
        return scene_name
    return stem if stem else scene_name


@dataclass(frozen=True)
class Row:
    """One row of a results table: one model in one scene at one noise level and threshold."""
    model: str
    noise: float
    radius: int
    repeatable: int
    scale_sum: float
    threshold: float
    model_keypoints: int
    non_occluded: int
    scene_keypoints: int
    scene_name: str

    @property
    def scene(self):
        return scene_of(self.scene_name)


def finite(text):
    value = float(text)
    if not math.isfinite(value):
        raise MalformedRow("a number that is not finite")
    return value


def count(text):
    value = int(text)
    if value < 0:
        raise MalformedRow("a negative keypoint count")
    return value


def parse_row(named):
    """A Row from {column: text}; raises MalformedRow or ValueError (not a number)."""
    return Row(model=named[MODEL], noise=finite(named[NOISE]), radius=int(named[RADIUS]),
               repeatable=count(named[REPEATABLE]), scale_sum=finite(named[SCALE_SUM]),
               threshold=finite(named[THRESHOLD]), model_keypoints=count(named[MODEL_KEYPOINTS]),
               non_occluded=count(named[NON_OCCLUDED]),
               scene_keypoints=count(named[SCENE_KEYPOINTS]), scene_name=named[SCENE_NAME])


def read_lines(path, what):
    """The lines of a text file, or None after naming the problem."""
    try:
        with open(path, encoding="utf-8", errors="replace") as text:
            lines = text.read().splitlines()
    except OSError as error:
        warn(f"{path}: cannot read: {error.strerror}")
        return None
    if not lines:
        warn(f"{path}: empty {what} (no header, no rows)")
        return None
    return lines


def read_rows(path, what, columns, parse):
    """(parsed rows, problems) of a ';'-separated file whose header holds `columns` (in any
    order, among others); parse({column: text}) makes a row or raises ValueError."""
    lines = read_lines(path, what)
    if lines is None:
        return [], 1
    header = lines[0].split(";")
    missing = [c for c in columns if c not in header]
    if missing or len(set(header)) != len(header):
        warn(f"{path}:1: not a {what} header")
        return [], 1
    rows, problems = [], 0
    for number, line in enumerate(lines[1:], start=2):
        if not line.strip():
            continue
        fields = line.split(";")
        try:
            if len(fields) != len(header):
                raise MalformedRow(f"{len(fields)} fields instead of {len(header)}")
            rows.append(parse(dict(zip(header, fields))))
        except ValueError as error:
            reason = str(error) if isinstance(error, MalformedRow) else "a field is not a number"
            warn(f"{path}:{number}: malformed row ({reason}), skipped")
            problems += 1
    if not rows and problems == 0:
        warn(f"{path}: no rows")
        problems = 1
    return rows, problems


def side_file_kind(path):
    """"meshes" or "settings" when the file at `path` is one of the grid's side files (told by its
    header, so that `results/*.csv` may name them among the tables), else None."""
    try:
        with open(path, encoding="utf-8", errors="replace") as text:
            header = text.readline().rstrip("\n").split(";")
    except OSError:
        return None
    if header == MESH_COLUMNS:
        return "meshes"
    if header == SETTING_COLUMNS:
        return "settings"
    return None


def read_table(path):
    """(detector ID, rows, problems) of one results table <detector ID>.csv."""
    detector_id = os.path.splitext(os.path.basename(path))[0]
    rows, problems = read_rows(path, "results table", RESULT_COLUMNS, parse_row)
    return detector_id, rows, problems


def read_keyed(path, what, columns, parse):
    """({first column: parsed row}, problems); a key given twice is a problem."""
    rows, problems = read_rows(path, what, columns, lambda named: (named[columns[0]], parse(named)))
    table = {}
    for key, value in rows:
        if key in table and table[key] != value:
            warn(f"{path}: {key} given twice with different values; the first is kept")
            problems += 1
        table.setdefault(key, value)
    return table, problems


def vertex_count(named):
    value = int(named["Vertices"])
    if value <= 0:
        raise MalformedRow("a vertex count that is not positive")
    return value


def read_meshes(path):
    """({mesh name: vertices of the cleaned mesh}, problems) of a Mesh;Vertices file."""
    return read_keyed(path, "mesh table", MESH_COLUMNS, vertex_count)


@dataclass(frozen=True)
class Identity:
    """What a detector ID stands for: its detector (the family that gets a colour), a short label
    of its option values, and its budget `keep` in keypoints per 1,000 vertices (None: all)."""
    detector_id: str
    detector: str
    options: str = ""
    keep: Optional[float] = None


def parse_keep(text):
    if text == "all":
        return None
    keep = finite(text)
    if keep <= 0:
        raise MalformedRow("a Keep that is neither positive nor 'all'")
    return keep


def setting_row(named):
    return Identity(named["Detector ID"], named["Detector"], named["Setting"],
                   parse_keep(named["Keep"]))


def read_settings(path):
    """({detector ID: Identity}, problems) of a Detector ID;Detector;Setting;Keep file."""
    return read_keyed(path, "settings table", SETTING_COLUMNS, setting_row)


def identity_from_id(detector_id):
    """The Identity a detector ID names by itself: ISS3D_keep-5 is detector ISS3D keeping 5
    keypoints per 1,000 vertices; an ID without that suffix keeps all its keypoints."""
    match = KEEP_SUFFIX.match(detector_id)
    if not match:
        return Identity(detector_id, detector_id)
    return Identity(detector_id, match.group(1), "", float(match.group(2)))

#!/usr/bin/python3
"""ardentis-report: plots results tables of ardentis against scene noise.

Reads results tables (<detectorID>.csv, ';'-separated, one header line, one row per model per
run) and draws, for every detector setting (detector ID, radius, threshold), one curve against
scene noise of:
  relative repeatability  repeatable / non-occluded keypoints
  absolute repeatability  repeatable keypoints
  scale repeatability     sum of scale scores / repeatable keypoints
Each figure has a panel with the mean of the per-model values and one panel per model. The
plotted numbers go to report.csv beside the figures, and a summary (best setting per noise
level) to the terminal. Exit status: 0 done, 1 some input refused (each problem named on
standard error; the rest is still reported), 2 bad command line.
"""

import argparse
import csv
import io
import math
import os
import sys
import tempfile

# Debian's python3 carries python3-matplotlib; a pyenv or venv python3 on PATH may not.
import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

FIELDS = 10
MEASURES = [
    ("relative", "Relative repeatability", "repeatable / non-occluded keypoints"),
    ("absolute", "Absolute repeatability", "repeatable keypoints"),
    ("scale", "Scale repeatability", "sum of scale scores / repeatable keypoints"),
]
MEAN = "mean"


class MalformedRow(ValueError):
    """A row that parses but cannot be a results row; its message says why."""


class Row:
    def __init__(self, fields):
        self.model = fields[0]
        self.noise = float(fields[1])
        self.radius = int(fields[2])
        self.repeatable = int(fields[3])
        self.scale_sum = float(fields[4])
        self.threshold = float(fields[5])
        self.non_occluded = int(fields[7])
        counts = [self.repeatable, self.non_occluded, int(fields[6]), int(fields[8])]
        if not all(math.isfinite(v) for v in [self.noise, self.scale_sum, self.threshold]):
            raise MalformedRow("a number that is not finite")
        if min(counts) < 0:
            raise MalformedRow("a negative keypoint count")

    def measures(self):
        nan = float("nan")
        relative = self.repeatable / self.non_occluded if self.non_occluded > 0 else nan
        scale = self.scale_sum / self.repeatable if self.repeatable > 0 else nan
        return {"relative": relative, "absolute": float(self.repeatable), "scale": scale}


def warn(message):
    print(f"ardentis-report: {message}", file=sys.stderr)


def read_table(path):
    """(detector ID, rows, problems found) of one results table."""
    detector = os.path.splitext(os.path.basename(path))[0]
    try:
        with open(path, encoding="utf-8", errors="replace") as table:
            lines = table.read().splitlines()
    except OSError as error:
        warn(f"{path}: cannot read: {error.strerror}")
        return detector, [], 1
    if not lines:
        warn(f"{path}: empty table (no header, no rows)")
        return detector, [], 1
    rows, problems = [], 0
    if len(lines[0].split(";")) != FIELDS or "Sigma noise" not in lines[0]:
        warn(f"{path}:1: not a results table header")
        return detector, [], 1
    for number, line in enumerate(lines[1:], start=2):
        if not line.strip():
            continue
        fields = line.split(";")
        try:
            if len(fields) != FIELDS:
                raise MalformedRow(f"{len(fields)} fields instead of {FIELDS}")
            rows.append(Row(fields))
        except ValueError as error:
            reason = str(error) if isinstance(error, MalformedRow) else "a field is not a number"
            warn(f"{path}:{number}: malformed row ({reason}), skipped")
            problems += 1
    if not rows and problems == 0:
        warn(f"{path}: no rows")
        problems = 1
    return detector, rows, problems


def mean(values):
    finite = [v for v in values if not math.isnan(v)]
    return sum(finite) / len(finite) if finite else float("nan")


def collect(tables):
    """{(detector, radius, threshold): {noise: {model: [measures of each row]}}}"""
    curves = {}
    for detector, rows in tables:
        for row in rows:
            key = (detector, row.radius, row.threshold)
            models = curves.setdefault(key, {}).setdefault(row.noise, {})
            models.setdefault(row.model, []).append(row.measures())
    return curves


def points(curves):
    """Plotted numbers: (key, noise, model or MEAN, {measure: value}), sorted."""
    result = []
    for key in sorted(curves):
        for noise in sorted(curves[key]):
            per_model = {
                model: {m: mean([r[m] for r in runs]) for m, _, _ in MEASURES}
                for model, runs in sorted(curves[key][noise].items())
            }
            # Mean of the per-model ratios, not the ratio of summed counts.
            averaged = {m: mean([v[m] for v in per_model.values()]) for m, _, _ in MEASURES}
            result.append((key, noise, MEAN, averaged))
            result.extend((key, noise, model, values) for model, values in per_model.items())
    return result


def label(key):
    detector, radius, threshold = key
    text = detector + (f", r={radius}" if radius > 0 else "")
    return text + f", t={threshold:g}"


def number(value):
    return "nan" if math.isnan(value) else f"{value:.6g}"


def write_atomically(path, write):
    """Calls write(binary file) on a temporary file beside `path`, then renames it to `path`."""
    directory = os.path.dirname(os.path.abspath(path))
    handle, temporary = tempfile.mkstemp(dir=directory, prefix=".tmp-")
    umask = os.umask(0)
    os.umask(umask)
    try:
        os.chmod(temporary, 0o666 & ~umask)  # mkstemp's 0600 is for secrets, not reports
        with os.fdopen(handle, "wb") as out:
            write(out)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def write_csv(path, plotted):
    text = io.StringIO()
    writer = csv.writer(text, delimiter=";", lineterminator="\n")
    writer.writerow(["detector", "radius", "threshold", "noise", "model"] +
                    [m for m, _, _ in MEASURES])
    for (detector, radius, threshold), noise, model, values in plotted:
        writer.writerow([detector, radius, f"{threshold:g}", f"{noise:g}", model] +
                        [number(values[m]) for m, _, _ in MEASURES])
    write_atomically(path, lambda out: out.write(text.getvalue().encode()))


def draw(out_dir, measure, title, meaning, plotted, formats):
    models = sorted({model for _, _, model, _ in plotted if model != MEAN})
    panels = [MEAN] + models
    columns = min(len(panels), 3)
    rows = (len(panels) + columns - 1) // columns
    figure, axes = plt.subplots(rows, columns, figsize=(4.2 * columns, 3.4 * rows), squeeze=False)
    keys = sorted({key for key, _, _, _ in plotted})
    for index, axis in enumerate(axes.flat):
        if index >= len(panels):
            axis.set_visible(False)
            continue
        panel = panels[index]
        for key in keys:
            line = [(n, v[measure]) for k, n, m, v in plotted if k == key and m == panel]
            if line:
                axis.plot([n for n, _ in line], [v for _, v in line], marker="o", label=label(key))
        axis.set_title("mean of per-model values" if panel == MEAN else panel, fontsize=10)
        axis.set_xlabel("scene noise (sigma)")
        axis.set_ylabel(measure)
        axis.grid(True, alpha=0.3)
    axes.flat[0].legend(fontsize=8)
    figure.suptitle(f"{title}: {meaning}\nfirst panel: mean over models of each model's value",
                    fontsize=11)
    figure.tight_layout()
    for extension in formats:
        path = os.path.join(out_dir, f"{measure}.{extension}")
        write_atomically(path, lambda out: figure.savefig(out, format=extension))
    plt.close(figure)


def print_summary(plotted):
    best = {}
    for key, noise, model, values in plotted:
        if model != MEAN or math.isnan(values["relative"]):
            continue
        if noise not in best or values["relative"] > best[noise][1]["relative"]:
            best[noise] = (key, values)
    print("Best setting per noise level (mean of per-model relative repeatability)")
    print(f"{'noise':>8}  {'setting':<36} {'relative':>9} {'absolute':>9} {'scale':>7}")
    for noise in sorted(best):
        key, values = best[noise]
        print(f"{noise:>8g}  {label(key):<36} {number(values['relative']):>9} "
              f"{number(values['absolute']):>9} {number(values['scale']):>7}")


def main(argv):
    parser = argparse.ArgumentParser(
        prog="ardentis-report",
        description="Plots repeatability against scene noise from ardentis results tables.")
    parser.add_argument("tables", nargs="+", metavar="TABLE", help="results tables (<ID>.csv)")
    parser.add_argument("-o", "--output", required=True, metavar="DIR",
                        help="directory of the figures and report.csv (created when missing)")
    parser.add_argument("--formats", default="png,svg,pdf",
                        help="figure formats, comma-separated (default: png,svg,pdf)")
    arguments = parser.parse_args(argv)
    formats = [f for f in arguments.formats.split(",") if f]
    unknown = [f for f in formats if f not in ("png", "svg", "pdf")]
    if unknown or not formats:
        parser.error(f"unknown figure format: {','.join(unknown) or '(none)'}")

    tables, problems = [], 0
    for path in arguments.tables:
        detector, rows, found = read_table(path)
        tables.append((detector, rows))
        problems += found
    plotted = points(collect(tables))
    if not plotted:
        warn("no rows to report; nothing written")
        return 1
    try:
        os.makedirs(arguments.output, exist_ok=True)
        write_csv(os.path.join(arguments.output, "report.csv"), plotted)
        for measure, title, meaning in MEASURES:
            draw(arguments.output, measure, title, meaning, plotted, formats)
    except OSError as error:
        warn(f"cannot write in {arguments.output}: {error.strerror}")
        return 1
    print_summary(plotted)
    print(f"report written to {arguments.output}: report.csv and "
          f"{', '.join(m for m, _, _ in MEASURES)} as {', '.join(formats)}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

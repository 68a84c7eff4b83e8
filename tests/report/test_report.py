"""ardentis-report end to end: fixture tables whose numbers are worked out by hand below."""

import csv
import os
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

REPORT = os.environ["ARDENTIS_REPORT"]
HEADER = (";Sigma noise;Radius;Repeatable Keypoints;TotScaleRepeatability;RepeatabilityTh;"
          "Model Keypoints;Non-occluded Keypoints;Scene Keypoints;Scene Name\n")


def row(model, noise, radius, repeatable, scale_sum, threshold, non_occluded):
    return f"{model};{noise};{radius};{repeatable};{scale_sum};{threshold};9;{non_occluded};20;s\n"


# X: one setting, two models. Y: radius 5, two thresholds, b never visible at t=1. Z: bad rows.
TABLES = {
    "X.csv": [HEADER, row("a", 0, -1, 3, 1.5, 1, 4), row("b", 0, -1, 1, 0.9, 1, 2),
              row("a", 0.5, -1, 1, 0.25, 1, 4), row("b", 0.5, -1, 0, 0, 1, 2)],
    "Y.csv": [HEADER, row("a", 0, 5, 4, 4, 1, 4), row("b", 0, 5, 0, 0, 1, 0),
              row("a", 0, 5, 4, 2, 2, 8), row("b", 0, 5, 2, 1, 2, 4)],
    "Z.csv": [HEADER, row("a", 0, -1, 1, 1, 1, 2), "a;0;-1;x;1;1;9;2;20;s\n", "too;few\n",
              "a;0;-1;1;1;1;9;-2;20;s\n"], "empty.csv": [], "n.csv": ["a;b\n"],
}
# (detector, radius, threshold, noise) -> model -> "relative absolute scale" by hand: repeatable /
# non-occluded, repeatable, scale sum / repeatable; "mean": over the models that have the ratio.
EXPECTED = {
    ("X", "-1", "1", "0"): {"mean": "0.625 2 0.7", "a": "0.75 3 0.5", "b": "0.5 1 0.9"},
    ("X", "-1", "1", "0.5"): {"mean": "0.125 0.5 0.25", "a": "0.25 1 0.25", "b": "0 0 nan"},
    ("Y", "5", "1", "0"): {"mean": "1 2 1", "a": "1 4 1", "b": "nan 0 nan"},
    ("Y", "5", "2", "0"): {"mean": "0.5 3 0.5", "a": "0.5 4 0.5", "b": "0.5 2 0.5"},
    ("Z", "-1", "1", "0"): {"mean": "0.5 1 1", "a": "0.5 1 1"},
}
MISSING = "missing.csv: cannot read: No such file or directory"


class ReportTest(unittest.TestCase):
    def setUp(self):
        self.dir = self.enterContext(tempfile.TemporaryDirectory())
        self.out, self.says = os.path.join(self.dir, "report"), f"ardentis-report: {self.dir}/"

    def run_report(self, tables):
        for name, lines in tables.items():
            with open(os.path.join(self.dir, name), "w") as table:
                table.write("".join(lines))
        paths = [os.path.join(self.dir, name) for name in tables] + [f"{self.dir}/missing.csv"]
        return subprocess.run([REPORT, *paths, "-o", self.out], capture_output=True, text=True)

    def test_numbers_figures_summary_and_bad_rows(self):
        result = self.run_report(TABLES)
        self.assertEqual((result.returncode, result.stderr.splitlines()), (1, [
            f"{self.says}Z.csv:3: malformed row (a field is not a number), skipped",
            f"{self.says}Z.csv:4: malformed row (2 fields instead of 10), skipped",
            f"{self.says}Z.csv:5: malformed row (a negative keypoint count), skipped",
            f"{self.says}empty.csv: empty table (no header, no rows)",
            f"{self.says}n.csv:1: not a results table header",
            self.says + MISSING]))
        with open(os.path.join(self.out, "report.csv")) as numbers:
            head, *rows = csv.reader(numbers, delimiter=";")
        self.assertEqual(head, ["detector", "radius", "threshold", "noise", "model", "relative",
                                "absolute", "scale"])
        plotted = {}
        for r in rows:
            plotted.setdefault(tuple(r[:4]), {})[r[4]] = " ".join(r[5:])
        self.assertEqual(plotted, EXPECTED)
        for path in (os.path.join(self.out, m) for m in ("relative", "absolute", "scale")):
            with open(path + ".png", "rb") as png, open(path + ".pdf", "rb") as pdf:
                self.assertEqual((png.read(8), pdf.read(5)), (b"\x89PNG\r\n\x1a\n", b"%PDF-"))
            self.assertTrue(ElementTree.parse(path + ".svg").getroot().tag.endswith("svg"))
        self.assertEqual(len(os.listdir(self.out)), 10)  # no temporary files left
        # Best mean relative repeatability: Y at t=1 (1.0) at noise 0, X alone at 0.5.
        self.assertRegex(result.stdout, r"\n\s+0\s+Y, r=5, t=1\s+1\s+2\s+1\n"
                                        r"\s+0.5\s+X, t=1\s+0.125\s+0.5\s+0.25\n")

    def test_nothing_to_report_writes_nothing(self):
        result = self.run_report({"h.csv": [HEADER]})
        self.assertEqual((result.returncode, result.stderr.splitlines()), (1, [
            self.says + "h.csv: no rows", self.says + MISSING,
            "ardentis-report: no rows to report; nothing written"]))
        self.assertFalse(os.path.exists(self.out))
        self.assertEqual(subprocess.run([REPORT, "t.csv"], capture_output=True).returncode, 2)

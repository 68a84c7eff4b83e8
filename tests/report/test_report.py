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


# X: one setting, two models. Y: radius 5, two thresholds; model b never visible at t=1.
TABLES = {
    "X.csv": [row("a", 0, -1, 3, 1.5, 1, 4), row("b", 0, -1, 1, 0.9, 1, 2),
              row("a", 0.5, -1, 1, 0.25, 1, 4), row("b", 0.5, -1, 0, 0, 1, 2)],
    "Y.csv": [row("a", 0, 5, 4, 4, 1, 4), row("b", 0, 5, 0, 0, 1, 0),
              row("a", 0, 5, 4, 2, 2, 8), row("b", 0, 5, 2, 1, 2, 4)],
}
NAN = "nan"
# (detector, radius, threshold, noise, model) -> (relative, absolute, scale), by hand:
# relative = repeatable / non-occluded, scale = scale sum / repeatable, mean over models of these.
EXPECTED = {
    ("X", "-1", "1", "0", "mean"): ("0.625", "2", "0.7"),  # (3/4 + 1/2) / 2, (0.5 + 0.9) / 2
    ("X", "-1", "1", "0", "a"): ("0.75", "3", "0.5"),
    ("X", "-1", "1", "0", "b"): ("0.5", "1", "0.9"),
    ("X", "-1", "1", "0.5", "mean"): ("0.125", "0.5", "0.25"),  # b has no scale: a's alone
    ("X", "-1", "1", "0.5", "a"): ("0.25", "1", "0.25"),
    ("X", "-1", "1", "0.5", "b"): ("0", "0", NAN),
    ("Y", "5", "1", "0", "mean"): ("1", "2", "1"),  # b: nothing visible, no ratio
    ("Y", "5", "1", "0", "a"): ("1", "4", "1"),
    ("Y", "5", "1", "0", "b"): (NAN, "0", NAN),
    ("Y", "5", "2", "0", "mean"): ("0.5", "3", "0.5"),
    ("Y", "5", "2", "0", "a"): ("0.5", "4", "0.5"),
    ("Y", "5", "2", "0", "b"): ("0.5", "2", "0.5"),
}


class ReportTest(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.dir = self.directory.name
        self.out = os.path.join(self.dir, "report")

    def tearDown(self):
        self.directory.cleanup()

    def table(self, name, lines):
        path = os.path.join(self.dir, name)
        with open(path, "w") as table:
            table.write("".join(lines))
        return path

    def run_report(self, *tables, formats="png,svg,pdf"):
        return subprocess.run([REPORT, *tables, "-o", self.out, "--formats", formats],
                              capture_output=True, text=True, timeout=120)

    def plotted(self):
        with open(os.path.join(self.out, "report.csv")) as numbers:
            rows = list(csv.reader(numbers, delimiter=";"))
        self.assertEqual(rows[0], ["detector", "radius", "threshold", "noise", "model",
                                   "relative", "absolute", "scale"])
        return {tuple(r[:5]): tuple(r[5:]) for r in rows[1:]}

    def test_numbers_figures_and_summary(self):
        tables = [self.table(name, [HEADER] + lines) for name, lines in TABLES.items()]
        result = self.run_report(*tables)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, "")
        self.assertEqual(self.plotted(), EXPECTED)
        for measure in ("relative", "absolute", "scale"):
            path = os.path.join(self.out, measure)
            with open(path + ".png", "rb") as png:
                self.assertEqual(png.read(8), b"\x89PNG\r\n\x1a\n")
            with open(path + ".pdf", "rb") as pdf:
                self.assertEqual(pdf.read(5), b"%PDF-")
            self.assertTrue(ElementTree.parse(path + ".svg").getroot().tag.endswith("svg"))
        self.assertEqual(sorted(os.listdir(self.out)),
                         sorted([f"{m}.{e}" for m in ("relative", "absolute", "scale")
                                 for e in ("png", "svg", "pdf")] + ["report.csv"]))
        # Best mean relative repeatability: Y at t=1 (1.0) at noise 0, X alone at 0.5.
        lines = result.stdout.splitlines()
        self.assertRegex(lines[2], r"^\s+0\s+Y, r=5, t=1\s+1\s+2\s+1$")
        self.assertRegex(lines[3], r"^\s+0.5\s+X, t=1\s+0.125\s+0.5\s+0.25$")

    def test_bad_rows_are_named_and_the_rest_reported(self):
        good = self.table("X.csv", [HEADER] + TABLES["X.csv"][:2])
        bad = self.table("Z.csv", [HEADER, row("a", 0, -1, 1, 1, 1, 2), "a;0;-1;x;1;1;9;2;20;s\n",
                                   "too;few\n", "a;0;-1;1;1;1;9;-2;20;s\n"])
        result = self.run_report(good, bad, os.path.join(self.dir, "missing.csv"),
                                 self.table("empty.csv", []), formats="png")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr.splitlines(), [
            f"ardentis-report: {bad}:3: malformed row (a field is not a number), skipped",
            f"ardentis-report: {bad}:4: malformed row (2 fields instead of 10), skipped",
            f"ardentis-report: {bad}:5: malformed row (a negative keypoint count), skipped",
            f"ardentis-report: {self.dir}/missing.csv: cannot read: No such file or directory",
            f"ardentis-report: {self.dir}/empty.csv: empty table (no header, no rows)",
        ])
        plotted = self.plotted()
        self.assertEqual(plotted[("Z", "-1", "1", "0", "a")], ("0.5", "1", "1"))
        self.assertEqual(plotted[("X", "-1", "1", "0", "mean")], EXPECTED[("X", "-1", "1", "0",
                                                                            "mean")])

    def test_nothing_to_report_writes_nothing(self):
        for tables in ([self.table("h.csv", [HEADER])], [self.table("n.csv", ["a;b\n"])]):
            result = self.run_report(*tables)
            self.assertEqual(result.returncode, 1)
            self.assertTrue(result.stderr.endswith("no rows to report; nothing written\n"))
            self.assertFalse(os.path.exists(self.out))
        self.assertEqual(subprocess.run([REPORT, "t.csv"], capture_output=True).returncode, 2)


if __name__ == "__main__":
    unittest.main()

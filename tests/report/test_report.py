"""ardentis-report end to end: the launcher, its files, numbers worked out by hand below, bad
input, and the launcher's lookup of its package in an installation."""

import csv
import os
import shutil
import subprocess
import tempfile
import unittest

REPORT = os.environ["ARDENTIS_REPORT"]
HEADER = (";Sigma noise;Radius;Repeatable Keypoints;TotScaleRepeatability;RepeatabilityTh;"
          "Model Keypoints;Non-occluded Keypoints;Scene Keypoints;Scene Name\n")


def row(model, noise, radius, repeatable, scale_sum, threshold, non_occluded, scene="s"):
    return (f"{model};{noise};{radius};{repeatable};{scale_sum};{threshold};9;{non_occluded};20;"
            f"{scene}_{noise}\n")


# X: one setting, two models, scenes s and u. Y: radius 5, two thresholds, b never visible at
# t=1. Z: bad rows.
TABLES = {
    "X.csv": [HEADER, row("a", 0, -1, 3, 1.5, 1, 4), row("b", 0, -1, 1, 0.9, 1, 2),
              row("a", 0, -1, 1, 0.5, 1, 4, "u"), row("a", 0.5, -1, 1, 0.25, 1, 4),
              row("b", 0.5, -1, 0, 0, 1, 2)],
    "Y.csv": [HEADER, row("a", 0, 5, 4, 4, 1, 4), row("b", 0, 5, 0, 0, 1, 0),
              row("a", 0, 5, 4, 2, 2, 8), row("b", 0, 5, 2, 1, 2, 4)],
    "Z.csv": [HEADER, row("a", 0, -1, 1, 1, 1, 2), "a;0;-1;x;1;1;9;2;20;s\n", "too;few\n",
              "a;0;-1;1;1;1;9;-2;20;s\n"], "empty.csv": [], "n.csv": ["a;b\n"],
}
# (detector, radius, threshold, noise) -> "scenes instances visible relative low high absolute
# scale" by hand. X at 0: s gives 3/4 and 1/2 (mean 0.625), u 1/4: relative 0.5, interval
# [0.25, 0.625] (resamples of u alone, of s alone); absolute (3+1+1)/3; scale (0.5+0.9+0.5)/3.
EXPECTED = {
    ("X", "-1", "1", "0"): "2 3 3 0.5 0.25 0.625 1.66667 0.633333",
    ("X", "-1", "1", "0.5"): "1 2 2 0.125 nan nan 0.5 0.25",
    ("Y", "5", "1", "0"): "1 2 1 1 nan nan 2 1",
    ("Y", "5", "2", "0"): "1 2 2 0.5 nan nan 3 0.5",
    ("Z", "-1", "1", "0"): "1 1 1 0.5 nan nan 1 1",
}
MISSING = "missing.csv: cannot read: No such file or directory"
FIGURES = ["relative", "absolute", "scale", "keypoints", "heatmap", "models"]


class ReportTest(unittest.TestCase):
    def setUp(self):
        self.dir = self.enterContext(tempfile.TemporaryDirectory())
        self.out, self.says = os.path.join(self.dir, "report"), f"ardentis-report: {self.dir}/"

    def run_report(self, files, *options, tables=None):
        """Writes the files and reports the tables among them (default: all) and missing.csv."""
        for name, lines in files.items():
            with open(os.path.join(self.dir, name), "w") as table:
                table.write("".join(lines))
        paths = [os.path.join(self.dir, name) for name in tables or files]
        paths.append(f"{self.dir}/missing.csv")
        return subprocess.run([REPORT, *paths, "-o", self.out, *options], capture_output=True,
                              text=True)

    def test_numbers_files_summary_and_bad_rows(self):
        result = self.run_report(TABLES, "--formats", "png")
        self.assertEqual((result.returncode, result.stderr.splitlines()), (1, [
            f"{self.says}Z.csv:3: malformed row (a field is not a number), skipped",
            f"{self.says}Z.csv:4: malformed row (2 fields instead of 10), skipped",
            f"{self.says}Z.csv:5: malformed row (a negative keypoint count), skipped",
            f"{self.says}empty.csv: empty results table (no header, no rows)",
            f"{self.says}n.csv:1: not a results table header",
            self.says + MISSING]))
        with open(os.path.join(self.out, "report.csv")) as numbers:
            head, *rows = csv.reader(numbers, delimiter=";")
        self.assertEqual(head, [
            "detector_id", "detector", "setting", "radius", "keep", "threshold", "noise",
            "scenes", "instances", "visible_instances", "relative", "relative_low",
            "relative_high", "absolute", "scale", "model_keypoints", "scene_keypoints"])
        self.assertEqual({(r[0], r[3], r[5], r[6]): " ".join(r[7:15]) for r in rows}, EXPECTED)
        self.assertEqual(sorted(os.listdir(self.out)), sorted(  # no temporary file left
            ["report.csv", "report-models.csv"] + [f + ".png" for f in FIGURES]))
        self.assertIn("no mesh sizes (--meshes): keypoints per 1,000 vertices left out",
                      result.stdout)
        # Best relative repeatability per threshold and budget: Y (1.0) at noise 0, X alone at 0.5.
        self.assertRegex(result.stdout, r"threshold 1 mr, all keypoints\n.*\n"
                                        r"\s+0\s+Y r=5\s+1.000 \(one scene\)\s+2\s+1.000\s+1\s+2\n"
                                        r"\s+0.5\s+X\s+0.125 \(one scene\)\s+0.5\s+0.250\s+1\s+2\n"
                                        r"threshold 2 mr, all keypoints\n.*\n"
                                        r"\s+0\s+Y r=5\s+0.500")

    def test_mesh_sizes_and_settings_files(self):
        files = {"X_keep-5.csv": [HEADER, row("a", 0, -1, 3, 1.5, 1, 4)],
                 "meshes.csv": ["Mesh;Vertices\n", "a;450\n", "s_0;4000\n"],
                 "settings.csv": ["Detector ID;Detector;Setting;Keep\n", "X_keep-5;ISS3D;g=1;5\n"]}
        named = ["--meshes", os.path.join(self.dir, "meshes.csv"), "--settings",
                 os.path.join(self.dir, "settings.csv")]
        # Named by their options, or among the tables (results/*.csv), told by their headers.
        for options, tables in ((named, ["X_keep-5.csv"]), ([], sorted(files))):
            result = self.run_report(files, "--formats", "svg", *options, tables=tables)
            self.assertEqual(result.stderr.splitlines(), [self.says + MISSING])
            with open(os.path.join(self.out, "report.csv")) as numbers:
                head, *rows = csv.reader(numbers, delimiter=";")
            got = dict(zip(head, rows[0]))
            self.assertEqual([got[k] for k in ("detector_id", "detector", "setting", "keep")] +
                             [got[k + "_keypoints_per_1000_vertices"] for k in ("model", "scene")],
                             ["X_keep-5", "ISS3D", "g=1", "5", "20", "5"])  # 9/450, 20/4000

    def test_nothing_to_report_writes_nothing(self):
        result = self.run_report({"h.csv": [HEADER]})
        self.assertEqual((result.returncode, result.stderr.splitlines()), (1, [
            self.says + "h.csv: no rows", self.says + MISSING,
            "ardentis-report: no rows to report; nothing written"]))
        self.assertFalse(os.path.exists(self.out))
        for bad in (["t.csv"], ["t.csv", "-o", "x", "--formats", "gif"]):
            self.assertEqual(subprocess.run([REPORT, *bad], capture_output=True).returncode, 2)

    def test_the_launcher_finds_its_package_in_an_installation(self):
        prefix = os.path.join(self.dir, "prefix")
        os.makedirs(os.path.join(prefix, "bin"))
        os.makedirs(os.path.join(prefix, "share", "ardentis", "python"))
        shutil.copy(REPORT, os.path.join(prefix, "bin"))
        alone = subprocess.run([os.path.join(prefix, "bin", "ardentis-report"), "--help"],
                               capture_output=True, text=True)
        self.assertEqual(alone.returncode, 3)
        self.assertIn("cannot find the ardentis_report package", alone.stderr)
        shutil.copytree(os.path.join(os.path.dirname(REPORT), "ardentis_report"),
                        os.path.join(prefix, "share", "ardentis", "python", "ardentis_report"))
        os.symlink(os.path.join(prefix, "bin", "ardentis-report"), os.path.join(self.dir, "link"))
        found = subprocess.run([os.path.join(self.dir, "link"), "--help"], capture_output=True,
                               text=True)
        self.assertEqual((found.returncode, found.stdout.split()[:2]),
                         (0, ["usage:", "ardentis-report"]))


if __name__ == "__main__":
    unittest.main()

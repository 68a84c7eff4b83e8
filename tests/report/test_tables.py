"""Reading results tables, mesh sizes and setting labels: by header name, bad rows named."""

import contextlib
import io
import os
import tempfile
import unittest

from ardentis_report import tables
from ardentis_report.tables import Identity

HEADER = (";Sigma noise;Radius;Repeatable Keypoints;TotScaleRepeatability;RepeatabilityTh;"
          "Model Keypoints;Non-occluded Keypoints;Scene Keypoints;Scene Name")
ROWS = ["bear_0;0.1;6;3;1.5;1;9;4;20;scene-003_0.1", "cat_0;0;-1;0;0;2;7;0;11;scene_0"]


def reordered(lines, order):
    return "\n".join(";".join(line.split(";")[i] for i in order) for line in lines) + "\n"


class ReadingTest(unittest.TestCase):
    def setUp(self):
        self.dir = self.enterContext(tempfile.TemporaryDirectory())

    def write(self, name, text):
        path = os.path.join(self.dir, name)
        with open(path, "w") as out:
            out.write(text)
        return path

    def read(self, reader, name, text):
        """(reader's result, lines on standard error)"""
        errors = io.StringIO()
        with contextlib.redirect_stderr(errors):
            result = reader(self.write(name, text))
        said = errors.getvalue().replace(f"ardentis-report: {self.dir}/", "")
        return result, said.splitlines()

    def test_columns_are_found_by_name_in_any_order(self):
        (_, rows, problems), _ = self.read(tables.read_table, "A.csv", "\n".join([HEADER] + ROWS))
        self.assertEqual((rows[0].model, rows[0].noise, rows[0].radius, rows[0].repeatable,
                          rows[0].scale_sum, rows[0].threshold, rows[0].model_keypoints,
                          rows[0].non_occluded, rows[0].scene_keypoints, rows[0].scene),
                         ("bear_0", 0.1, 6, 3, 1.5, 1.0, 9, 4, 20, "scene-003"))
        order = [9, 3, 0, 7, 1, 8, 5, 2, 6, 4]
        (detector, moved, _), _ = self.read(tables.read_table, "B.csv",
                                            reordered([HEADER] + ROWS, order))
        self.assertEqual((detector, moved, problems), ("B", rows, 0))
        extra = [line + ";x" for line in [HEADER] + ROWS]
        self.assertEqual(self.read(tables.read_table, "C.csv", "\n".join(extra))[0][1], rows)

    def test_bad_rows_and_files_are_named_and_the_rest_kept(self):
        cases = [  # (file text, rows kept, problems, messages)
            ("\n".join([HEADER, ROWS[0], "a;0;-1;x;1;1;9;2;20;s", "too;few", "",
                        "a;0;-1;1;1;1;9;-2;20;s", "a;nan;-1;1;1;1;9;2;20;s"]), 1, 4,
             ["T.csv:3: malformed row (a field is not a number), skipped",
              "T.csv:4: malformed row (2 fields instead of 10), skipped",
              "T.csv:6: malformed row (a negative keypoint count), skipped",
              "T.csv:7: malformed row (a number that is not finite), skipped"]),
            ("", 0, 1, ["T.csv: empty results table (no header, no rows)"]),
            (HEADER.replace("Scene Name", "Scene"), 0, 1, ["T.csv:1: not a results table header"]),
            (HEADER + "\n", 0, 1, ["T.csv: no rows"]),
        ]
        for text, kept, problems, messages in cases:
            (_, rows, found), said = self.read(tables.read_table, "T.csv", text)
            self.assertEqual((len(rows), found, said), (kept, problems, messages))
        with contextlib.redirect_stderr(io.StringIO()) as said:
            self.assertEqual(tables.read_table(os.path.join(self.dir, "none.csv"))[2], 1)
        self.assertIn("none.csv: cannot read: No such file or directory", said.getvalue())

    def test_mesh_sizes(self):
        (sizes, problems), said = self.read(
            tables.read_meshes, "m.csv",
            "Vertices;Mesh\n100;bear_0\n0;cat_0\n5;bear_0\n100;bear_0\n7;scene_0.1\n")
        self.assertEqual((sizes, problems), ({"bear_0": 100, "scene_0.1": 7}, 2))
        self.assertEqual(said, ["m.csv:3: malformed row (a vertex count that is not positive), "
                                "skipped", "m.csv: bear_0 given twice with different values; "
                                "the first is kept"])

    def test_settings_and_what_an_id_says_alone(self):
        (found, problems), said = self.read(
            tables.read_settings, "s.csv", "Detector ID;Detector;Setting;Keep\n"
            "ISS3D_gamma21-0.9_keep-5;ISS3D;gamma21=0.9;5\nU;UNIFORM;;all\nV;V;;-1\n")
        self.assertEqual((found, problems), ({
            "ISS3D_gamma21-0.9_keep-5": Identity("ISS3D_gamma21-0.9_keep-5", "ISS3D",
                                                 "gamma21=0.9", 5.0),
            "U": Identity("U", "UNIFORM", "", None)}, 1))
        self.assertEqual(said, ["s.csv:4: malformed row (a Keep that is neither positive nor "
                                "'all'), skipped"])
        for detector_id, detector, keep in [
                ("ISS3D_keep-5", "ISS3D", 5.0), ("ISS3D", "ISS3D", None),
                ("ISS3D_gamma21-0.9_keep-2.5", "ISS3D_gamma21-0.9", 2.5),
                ("_keep-5", "_keep-5", None), ("A_keep-x", "A_keep-x", None)]:
            self.assertEqual(tables.identity_from_id(detector_id),
                             Identity(detector_id, detector, "", keep))

    def test_scene_of_a_scene_name(self):
        for name, scene in [("scene_0.1", "scene"), ("scene-003_0.1", "scene-003"), ("s", "s"),
                            ("scene_a", "scene_a"), ("x_y_0", "x_y"), ("_0.1", "_0.1")]:
            self.assertEqual(tables.scene_of(name), scene, name)


if __name__ == "__main__":
    unittest.main()

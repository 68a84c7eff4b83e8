"""ardentis-report inspect on meshes the real ardentis-inspect wrote for the example: the panels
and points of the picture read back from matplotlib's objects, against the counts the tool
printed; the PNG the launcher writes; a mesh it refuses."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

import matplotlib.image

from ardentis_report import outcome_pictures as inspect

REPORT = os.environ["ARDENTIS_REPORT"]
INSPECT = os.path.join(os.path.dirname(REPORT), "ardentis-inspect")
EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir,
                        "examples")
MODEL_GROUPS = ("repeatable", "non-occluded", "occluded")


def points(axis):
    """{group: number of points} of a panel's scatter collections."""
    return {c.get_label(): len(c.get_offsets()) for c in axis.collections
            if c.get_label() in dict(inspect.GROUPS)}


class InspectTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.temporary = tempfile.TemporaryDirectory()
        cls.directory = cls.temporary.name
        run = subprocess.run(
            [INSPECT, "-C", "test.ini", "-S", "feats", "--detectorID", "ISSlite", "-n", "0.1",
             "-t", "2", "-o", cls.directory, "--no-picture"],
            cwd=EXAMPLES, capture_output=True, text=True, check=True)
        # model: (keypoints, non-occluded, repeatable), as printed
        cls.printed = {m: tuple(map(int, counts)) for m, *counts in re.findall(
            r"^(\S+): (\d+) keypoints, (\d+) non-occluded, (\d+) repeatable ", run.stdout, re.M)}
        cls.bear = os.path.join(cls.directory, "bear_0.ply")

    @classmethod
    def tearDownClass(cls):
        cls.temporary.cleanup()

    def expect_points(self, figure, model, panels):
        keypoints, visible, repeatable = self.printed[model]
        self.assertEqual(len(figure.axes), panels)
        for axis in figure.axes:
            drawn = points(axis)
            self.assertEqual([drawn[g] for g in MODEL_GROUPS],
                             [repeatable, visible - repeatable, keypoints - visible])
            self.assertTrue(0 < drawn["scene"] < 1000)  # those of the model's region

    def test_three_views_of_every_keypoint(self):
        self.assertEqual(sorted(self.printed), ["bear_0", "camel_0", "mannequin-devil_0"])
        for model in self.printed:
            figure = inspect.inspection_figure(
                inspect.read_mesh(os.path.join(self.directory, model + ".ply")))
            self.expect_points(figure, model, 3)
            legend = [t.get_text() for t in figure.legends[0].get_texts()]
            keypoints, visible, repeatable = self.printed[model]
            self.assertEqual(legend[:3], [f"repeatable: {repeatable}",
                                          f"non-occluded, not repeatable: {visible - repeatable}",
                                          f"occluded: {keypoints - visible}"])
            self.assertIn(f"ISSlite keypoints of {model} in scene_0.1", figure._suptitle.get_text())

    def test_keypoints_behind_the_surface_are_faint(self):
        figure = inspect.inspection_figure(inspect.read_mesh(self.bear))
        front = [c for c in figure.axes[0].collections if c.get_label() == "repeatable"][0]
        alphas = set(front.get_facecolors()[:, 3].round(2))
        self.assertEqual(alphas, {1.0, inspect.HIDDEN_ALPHA})

    def test_one_view_from_the_viewpoint(self):
        with open(self.bear, "rb") as source:
            data = source.read()
        viewed = os.path.join(self.directory, "viewed.ply")
        with open(viewed, "wb") as out:
            out.write(data.replace(b"end_header\n", b"comment view 0 0 400\nend_header\n", 1))
        figure = inspect.inspection_figure(inspect.read_mesh(viewed))
        self.expect_points(figure, "bear_0", 1)
        self.assertEqual(figure.axes[0].get_title(), "from the viewpoint (0, 0, 400)")

    def test_the_launcher_writes_a_png_beside_the_mesh(self):
        with tempfile.TemporaryDirectory() as directory:
            mesh = shutil.copy(self.bear, directory)
            run = subprocess.run([REPORT, "inspect", mesh], capture_output=True, text=True)
            self.assertEqual(run.returncode, 0, run.stderr)
            picture = os.path.join(directory, "bear_0.png")
            self.assertEqual(run.stdout, picture + "\n")
            with open(picture, "rb") as png:
                self.assertEqual(png.read(8), b"\x89PNG\r\n\x1a\n")
            height, width, _ = matplotlib.image.imread(picture).shape
            self.assertTrue(1000 < width <= 1400 and height < width)  # 7 in at 200 dpi

    def test_refusals(self):
        model = os.path.join(EXAMPLES, "data", "models", "bear_0.ply")
        run = subprocess.run([REPORT, "inspect", model, self.bear + ".missing"],
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 1)
        self.assertEqual(run.stderr.splitlines(), [
            f"ardentis-report: {model}: no ardentis-inspect comments in its header",
            f"ardentis-report: {self.bear}.missing: No such file or directory"])


if __name__ == "__main__":
    unittest.main()

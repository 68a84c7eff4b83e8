"""Every figure of a synthetic benchmark: its panels, curves and bands read from matplotlib's
objects before saving, then the files it is saved to."""

import os
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

from matplotlib.collections import PathCollection, PolyCollection

import synthetic
from ardentis_report import cli, figures, stats, tables


def inputs_of(files):
    """(summaries, model summaries) of synthetic files."""
    with tempfile.TemporaryDirectory() as directory:
        for name, text in files.items():
            with open(os.path.join(directory, name), "w") as out:
                out.write(text)
        read = [tables.read_table(os.path.join(directory, n))[:2] for n in sorted(files)
                if n not in ("settings.csv", "meshes.csv")]
        identities, _ = tables.read_settings(os.path.join(directory, "settings.csv"))
        vertices, _ = tables.read_meshes(os.path.join(directory, "meshes.csv"))
    gathered = stats.gather(read, identities)
    summaries, _ = stats.summaries(gathered, vertices)
    return summaries, stats.model_summaries(gathered)


def report_of(files):
    """{figure name: Figure} of the report of synthetic files."""
    return dict(cli.make_figures(*inputs_of(files)))


def written(directory):
    """{file name: bytes} of a directory."""
    files = {}
    for name in os.listdir(directory):
        with open(os.path.join(directory, name), "rb") as content:
            files[name] = content.read()
    return files


def panels(figure):
    return [axis for axis in figure.axes if axis.get_label() != "<colorbar>"]


def counts(figure):
    """[(curves, bands)] of each panel."""
    return [(len(axis.get_lines()),
             sum(isinstance(c, PolyCollection) for c in axis.collections))
            for axis in panels(figure)]


def legend_size(figure):
    return len(figure.legends[0].get_texts())


class FiguresTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # 3 scenes, 2 models, 4 detectors x 2 settings x (keep 2, keep 5, all), 2 noise levels,
        # 2 thresholds: 24 detector IDs, 8 settings per budget; SIFT3D alone has varying scales.
        cls.made = report_of(synthetic.benchmark(scenes=3, models=2, variants=2, keeps=(2, 5),
                                                 noises=(0, 0.5)))

    def test_the_figures_made(self):
        self.assertEqual(list(self.made), [
            "relative", "absolute", "best", "scale", "budget", "keypoints", "heatmap",
            "models-keep-2", "models-keep-5", "models-keep-all"])

    def test_curves_against_noise(self):
        # name: (panels, curves per panel, bands per panel, legend entries); a panel per budget
        # and threshold.
        for name, (n, curves, bands, legend) in {
                "relative": (6, 8, 8, 8), "absolute": (6, 8, 0, 8), "best": (6, 4, 4, 4),
                "scale": (6, 2, 0, 2), "models-keep-5": (4, 8, 0, 8)}.items():
            figure = self.made[name]
            self.assertEqual((counts(figure), legend_size(figure)),
                             ([(curves, bands)] * n, legend), name)
            self.assertEqual(figure._supxlabel.get_text(), figures.NOISE_AXIS)
        self.assertEqual(panels(self.made["relative"])[0].get_ylim(), (0, 1))
        self.assertRegex(self.made["relative"]._suptitle.get_text(),
                         r"mean over 3 scenes, 6 \(scene, model\) instances")

    def test_budget_keypoints_and_heatmap(self):
        budget = self.made["budget"]  # a panel per threshold and noise level, keeps 2 and 5
        self.assertEqual(counts(budget), [(8, 8)] * 4)
        self.assertEqual([list(line.get_xdata()) for line in panels(budget)[0].get_lines()],
                         [[2, 5]] * 8)
        models, scenes = panels(self.made["keypoints"])
        self.assertEqual([len(c.get_offsets()) for c in models.collections], [24])
        self.assertEqual([len(c.get_offsets()) for c in scenes.collections
                          if isinstance(c, PathCollection)], [24, 24])  # one per noise level
        heatmap = panels(self.made["heatmap"])
        self.assertEqual([axis.images[0].get_array().shape for axis in heatmap], [(24, 4)])

    def test_a_large_grid_of_one_scene_draws_the_best_of_each_detector_without_bands(self):
        made = report_of(synthetic.benchmark(scenes=1, models=1, variants=4, keeps=(5,),
                                             noises=(0,), thresholds=(1,)))
        relative = made["relative"]  # 16 settings per budget: more than a panel shows
        self.assertEqual((counts(relative), legend_size(relative)), ([(4, 0)] * 2, 4))
        self.assertIn("the best setting of each detector", relative._suptitle.get_text())
        self.assertNotIn("budget", made)

    def test_saved_files(self):
        with tempfile.TemporaryDirectory() as directory:
            for name, figure in self.made.items():
                figures.save(figure, directory, name, ["png", "svg", "pdf"])
                path = os.path.join(directory, name)
                with open(path + ".png", "rb") as png, open(path + ".pdf", "rb") as pdf:
                    self.assertEqual((png.read(8), pdf.read(5)),
                                     (b"\x89PNG\r\n\x1a\n", b"%PDF-"), name)
                self.assertTrue(ElementTree.parse(path + ".svg").getroot().tag.endswith("svg"))
            self.assertEqual(len(os.listdir(directory)), 3 * len(self.made))

    def test_worker_processes_write_what_one_process_writes(self):
        inputs = inputs_of(synthetic.benchmark(scenes=2, models=2, keeps=(2,), noises=(0, 0.5)))
        reports = []
        for processes in (1, 3):
            with tempfile.TemporaryDirectory() as directory:
                names = cli.write_report(directory, *inputs, True, ["png", "svg", "pdf"],
                                         processes)
                reports.append((names, written(directory)))
                # A figure that cannot be written ends the report with its error, raised here
                # whether a worker or this process met it.
                os.remove(os.path.join(directory, "heatmap.svg"))
                os.mkdir(os.path.join(directory, "heatmap.svg"))
                with self.assertRaises(IsADirectoryError, msg=processes):
                    cli.write_report(directory, *inputs, True, ["svg"], processes)
        self.assertEqual(reports[0], reports[1])
        self.assertEqual(len(reports[0][1]), 2 + 3 * len(reports[0][0]))


if __name__ == "__main__":
    unittest.main()

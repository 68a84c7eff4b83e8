"""Statistics over (scene, model) instances against numbers worked out by hand, and the bootstrap
against the exact distribution of its resamples, enumerated."""

import itertools
import math
import unittest

from ardentis_report import stats
from ardentis_report.tables import Row, identity_from_id


def row(model, scene, repeatable, non_occluded, scale_sum, model_keypoints, scene_keypoints,
        noise=0.0, threshold=1.0):
    return Row(model, noise, -1, repeatable, scale_sum, threshold, model_keypoints, non_occluded,
               scene_keypoints, f"{scene}_{noise:g}")


# Two scenes, two models. By hand: relative a/s1 3/4, b/s1 1/2, b/s2 2/8 (a/s2 sees nothing);
# scale sum / repeatable 0.5, 0.9, 1.0; scene s1's mean relative 0.625, s2's 0.25.
HAND = [row("a", "s1", 3, 4, 1.5, 10, 40), row("b", "s1", 1, 2, 0.9, 20, 40),
        row("a", "s2", 0, 0, 0.0, 10, 60), row("b", "s2", 2, 8, 2.0, 20, 60)]
VERTICES = {"a": 1000, "b": 4000, "s1_0": 20000, "s2_0": 12000}


def summarize(tables, vertices=None):
    gathered = stats.gather(tables, {i: identity_from_id(i) for i, _ in tables})
    return stats.summaries(gathered, vertices), gathered


def fields(record, names):
    return {n: round(getattr(record, n), 12) for n in names}


class SummaryTest(unittest.TestCase):
    def test_means_counts_densities_and_interval_by_hand(self):
        ([summary], missing), _ = summarize([("X", HAND)], VERTICES)
        # Two scenes: a quarter of the resamples draw s1 twice, a quarter s2 twice, so the 2.5th
        # and 97.5th percentiles are the two scenes' means.
        self.assertEqual(fields(summary, [
            "scenes", "instances", "visible", "relative", "low", "high", "absolute", "scale",
            "model_keypoints", "scene_keypoints", "model_density", "scene_density"]), {
            "scenes": 2, "instances": 4, "visible": 3, "relative": 0.5, "low": 0.25,
            "high": 0.625, "absolute": 1.5, "scale": 0.8, "model_keypoints": 15,
            "scene_keypoints": 50, "model_density": 7.5, "scene_density": 3.5})
        self.assertEqual(missing, [])
        ([summary], missing), _ = summarize([("X", HAND)], {"a": 1000, "s1_0": 20000})
        self.assertEqual((summary.model_density, summary.scene_density, missing),
                         (10.0, 2.0, ["b", "s2_0"]))

    def test_per_model_means_by_hand(self):
        _, gathered = summarize([("X", HAND)])
        self.assertEqual([fields(m, ["scenes", "relative", "absolute", "scale",
                                     "model_keypoints"]) for m in stats.model_summaries(gathered)],
                         [{"scenes": 2, "relative": 0.75, "absolute": 1.5, "scale": 0.5,
                           "model_keypoints": 10},
                          {"scenes": 2, "relative": 0.375, "absolute": 1.5, "scale": 0.95,
                           "model_keypoints": 20}])

    def test_one_scene_has_no_interval_and_a_repeated_row_counts_once(self):
        rows = [row("a", "s1", 3, 4, 3, 10, 40), row("a", "s1", 1, 4, 1, 10, 40)]
        ([summary], _), _ = summarize([("X", rows)])
        self.assertEqual((summary.instances, summary.relative, summary.absolute),
                         (1, 0.5, 2.0))
        self.assertTrue(math.isnan(summary.low) and math.isnan(summary.high))

    def test_keypoints_are_averaged_per_model_and_per_scene_in_any_row_order(self):
        # a is in three scenes, b in two, c in one: keypoints per model (10 + 20 + 9) / 3, per
        # scene (40 + 60 + 30 + 50) / 4, not per instance.
        more = HAND + [row("c", "s3", 5, 6, 5, 9, 30), row("a", "s4", 1, 7, 1, 10, 50)]
        ([forward], _), _ = summarize([("X", more)])
        self.assertEqual((forward.model_keypoints, forward.scene_keypoints), (13, 45))
        backward, _ = summarize([("X", more[::-1])])
        self.assertEqual(repr([forward]), repr(backward[0]))  # repr: nan == nan

    def test_settings_are_grouped_by_id_radius_threshold_and_noise(self):
        rows = HAND + [row("a", "s1", 1, 4, 1, 10, 40, threshold=2.0),
                       row("a", "s1", 1, 4, 1, 10, 40, noise=0.5)]
        keys = [(s.setting.identity.detector_id, s.threshold, s.noise, s.instances)
                for s in summarize([("X", rows), ("Y_keep-5", HAND[:1])])[0][0]]
        self.assertEqual(keys, [("X", 1.0, 0.0, 4), ("X", 1.0, 0.5, 1), ("X", 2.0, 0.0, 1),
                                ("Y_keep-5", 1.0, 0.0, 1)])


class BootstrapTest(unittest.TestCase):
    def test_interval_within_the_exact_resampling_distribution(self):
        # One large scene of low values beside small ones of high values: a mean of scene means
        # instead of a mean of instances, or a 90% interval, falls outside the windows below.
        groups = [[0.1, 0.2, 0.1, 0.0, 0.2], [0.9], [0.7], [0.8, 0.6], [0.5]]
        exact = sorted(sum(sum(groups[i]) for i in draw) / sum(len(groups[i]) for i in draw)
                       for draw in itertools.product(range(5), repeat=5))

        def quantile(p):
            return exact[math.ceil(p * len(exact)) - 1]

        # 2,000 resamples put the 2.5th percentile within about 0.35 percentage points.
        low, high = stats.bootstrap_interval(groups)
        self.assertTrue(quantile(0.015) <= low <= quantile(0.035), (low, quantile(0.025)))
        self.assertTrue(quantile(0.965) <= high <= quantile(0.985), (high, quantile(0.975)))

    def test_the_same_interval_every_time_and_none_for_one_scene(self):
        groups = [[0.05 * i, 0.3] for i in range(12)]  # percentiles between resample means
        self.assertEqual(stats.bootstrap_interval(groups), stats.bootstrap_interval(groups))
        self.assertTrue(all(math.isnan(v) for v in stats.bootstrap_interval([[0.2, 0.4]])))


def summary(detector_id, threshold, relative, noise=0.0):
    setting = stats.Setting(identity_from_id(detector_id), -1)
    return stats.Summary(setting, threshold, noise, 1, 1, 1, relative, math.nan, math.nan, 0, 0,
                         0, 0, None, None)


class ChoiceTest(unittest.TestCase):
    def test_best_per_noise_within_threshold_and_budget(self):
        best = stats.best_per_noise([
            summary("A", 1, 0.5), summary("A", 2, 0.9), summary("B_keep-5", 1, 0.6),
            summary("C", 1, 0.7), summary("C", 1, 0.2, noise=0.5), summary("D", 1, math.nan),
            summary("D_keep-5", 1, 0.6)])
        chosen = {panel: {n: s.setting.identity.detector_id for n, s in at.items()}
                  for panel, at in best.items()}
        self.assertEqual(chosen, {(1, None): {0.0: "C", 0.5: "C"}, (2, None): {0.0: "A"},
                                  (1, 5.0): {0.0: "B_keep-5"}})

    def test_best_of_each_detector(self):
        groups = {("I", 1): [summary("I", 1, 0.5), summary("I", 1, 0.7)],  # mean 0.6
                  ("I", 2): [summary("I", 1, 0.8), summary("I", 1, math.nan)],  # mean 0.8
                  ("I", 3): [summary("I", 1, 0.8)],  # a tie: the first stays
                  ("H", 1): [summary("H", 1, math.nan)], ("U", 1): [summary("U", 1, math.nan)],
                  ("U", 2): [summary("U", 1, 0.1)]}
        self.assertEqual(stats.best_of_each(groups, lambda key: key[0]),
                         [("I", 2), ("H", 1), ("U", 2)])


if __name__ == "__main__":
    unittest.main()

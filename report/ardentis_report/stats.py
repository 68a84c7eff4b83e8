"""Statistics of results rows over (scene, model) instances.

A setting is a detector ID at a radius; it is evaluated at repeatability thresholds and scene
noise levels. For each (setting, threshold, noise) the rows are gathered into instances, one per
(scene, model), and summarised: the mean relative repeatability with a bootstrap interval over
scenes, the mean absolute and scale repeatability, and the mean keypoint counts.
"""

import math
from dataclasses import dataclass
from typing import Optional

import numpy

from .tables import Identity

RESAMPLES = 2000
SEED = 20240611  # fixed: the same tables always give the same interval
LEVEL = 0.95
NAN = float("nan")


@dataclass(frozen=True)
class Setting:
    """A detector ID at a support radius (radius <= 0: none)."""
    identity: Identity
    radius: int

    @property
    def detector(self):
        return self.identity.detector

    @property
    def keep(self):
        return self.identity.keep

    def label(self, with_keep=False):
        """Detector, option values and radius: "ISS3D gamma21=0.9, r=6" (and ", keep 5")."""
        parts = [self.identity.options] if self.identity.options else []
        parts += [f"r={self.radius}"] if self.radius > 0 else []
        parts += [keep_label(self.keep, short=True)] if with_keep else []
        return self.detector + (" " + ", ".join(parts) if parts else "")

    @property
    def variant(self):
        """What tells a setting apart from the others of its detector, whatever its budget."""
        return (self.detector, self.identity.options, self.radius)


def keep_label(keep, short=False):
    if keep is None:
        return "all keypoints" if not short else "keep all"
    noun = "keypoint" if keep == 1 else "keypoints"
    return f"keep {keep:g}" if short else f"{keep:g} {noun} per 1,000 vertices"


def sort_key(setting):
    keep = math.inf if setting.keep is None else setting.keep
    return (setting.detector, setting.identity.options, setting.radius, keep,
            setting.identity.detector_id)


@dataclass(frozen=True)
class Instance:
    """One (scene, model) at one setting, threshold and noise level: the mean of its rows
    (one row, unless a run was repeated into the same table)."""
    scene: str
    scene_name: str
    model: str
    relative: float  # repeatable / non-occluded; nan without non-occluded keypoints
    absolute: float  # repeatable keypoints
    scale: float  # scale score sum / repeatable; nan without repeatable keypoints
    model_keypoints: float
    scene_keypoints: float


def mean(values):
    """Mean of the values that are not nan; nan when there are none."""
    kept = [v for v in values if not math.isnan(v)]
    return sum(kept) / len(kept) if kept else NAN


def make_instance(rows):
    first = rows[0]
    return Instance(
        scene=first.scene, scene_name=first.scene_name, model=first.model,
        relative=mean([r.repeatable / r.non_occluded if r.non_occluded else NAN for r in rows]),
        absolute=mean([float(r.repeatable) for r in rows]),
        scale=mean([r.scale_sum / r.repeatable if r.repeatable else NAN for r in rows]),
        model_keypoints=mean([float(r.model_keypoints) for r in rows]),
        scene_keypoints=mean([float(r.scene_keypoints) for r in rows]))


def gather(tables, identities):
    """{(setting, threshold, noise): [instances]} of [(detector ID, rows)], each ID described by
    identities[ID]."""
    grouped = {}
    for detector_id, rows in tables:
        for row in rows:
            setting = Setting(identities[detector_id], row.radius)
            instances = grouped.setdefault((setting, row.threshold, row.noise), {})
            instances.setdefault((row.scene, row.model), []).append(row)
    return {key: [make_instance(rows) for _, rows in sorted(instances.items())]
            for key, instances in grouped.items()}


def bootstrap_interval(groups, resamples=RESAMPLES, seed=SEED, level=LEVEL):
    """Percentile bootstrap interval of the mean of all values, resampling the groups (scenes)
    with replacement: each resample draws as many groups as there are and takes the mean of the
    values of the groups drawn. groups: lists of values, none empty. Returns (low, high), or
    (nan, nan) for fewer than two groups."""
    if len(groups) < 2:
        return NAN, NAN
    sums = numpy.array([math.fsum(g) for g in groups])
    sizes = numpy.array([len(g) for g in groups], dtype=float)
    draws = numpy.random.default_rng(seed).integers(0, len(groups), (resamples, len(groups)))
    means = sums[draws].sum(axis=1) / sizes[draws].sum(axis=1)
    tail = 50 * (1 - level)
    low, high = numpy.percentile(means, [tail, 100 - tail])
    return float(low), float(high)


def by_scene(instances):
    """[[relative of each instance with non-occluded keypoints] of each scene that has one]"""
    scenes = {}
    for instance in instances:
        if not math.isnan(instance.relative):
            scenes.setdefault(instance.scene, []).append(instance.relative)
    return [scenes[s] for s in sorted(scenes)]


def per_key_mean(instances, key, value):
    """Mean over the distinct key(instance) of the mean value(instance) of each."""
    groups = {}
    for instance in instances:
        groups.setdefault(key(instance), []).append(value(instance))
    return mean([mean(values) for values in groups.values()])


def density(keypoints, mesh, vertices, missing):
    """Keypoints per 1,000 vertices of the mesh, nan (and the mesh noted) when its size is
    unknown."""
    if mesh not in vertices:
        missing.add(mesh)
        return NAN
    return 1000.0 * keypoints / vertices[mesh]


@dataclass(frozen=True)
class Summary:
    """A setting at a threshold and noise level, over its instances. The densities (keypoints
    per 1,000 vertices) are None when the mesh sizes are not known."""
    setting: Setting
    threshold: float
    noise: float
    scenes: int
    instances: int
    visible: int  # instances with non-occluded keypoints: those of the relative mean
    relative: float
    low: float
    high: float
    absolute: float
    scale: float
    model_keypoints: float
    scene_keypoints: float
    model_density: Optional[float]
    scene_density: Optional[float]


def summarize(key, instances, vertices, missing):
    """The Summary of one (setting, threshold, noise) key. vertices: {mesh: vertex count} or
    None; meshes without a count are added to the set `missing`."""
    setting, threshold, noise = key
    scenes = by_scene(instances)
    low, high = bootstrap_interval(scenes)
    densities = (None, None)
    if vertices is not None:
        densities = (
            per_key_mean(instances, lambda i: i.model,
                         lambda i: density(i.model_keypoints, i.model, vertices, missing)),
            per_key_mean(instances, lambda i: i.scene,
                         lambda i: density(i.scene_keypoints, i.scene_name, vertices, missing)))
    return Summary(
        setting=setting, threshold=threshold, noise=noise,
        scenes=len({i.scene for i in instances}), instances=len(instances),
        visible=sum(len(s) for s in scenes), relative=mean([v for s in scenes for v in s]),
        low=low, high=high, absolute=mean([i.absolute for i in instances]),
        scale=mean([i.scale for i in instances]),
        model_keypoints=per_key_mean(instances, lambda i: i.model, lambda i: i.model_keypoints),
        scene_keypoints=per_key_mean(instances, lambda i: i.scene, lambda i: i.scene_keypoints),
        model_density=densities[0], scene_density=densities[1])


def summaries(gathered, vertices=None):
    """([Summary], meshes missing from vertices) of gather()'s groups, sorted by setting,
    threshold and noise."""
    missing = set()
    result = [summarize(key, gathered[key], vertices, missing) for key in gathered]
    result.sort(key=lambda s: (sort_key(s.setting), s.threshold, s.noise))
    return result, sorted(missing)


@dataclass(frozen=True)
class ModelSummary:
    """A model at a setting, threshold and noise level, over the scenes it appears in."""
    setting: Setting
    threshold: float
    noise: float
    model: str
    scenes: int
    relative: float
    absolute: float
    scale: float
    model_keypoints: float


def model_summaries(gathered):
    """[ModelSummary] of gather()'s groups, sorted by setting, threshold, noise and model."""
    result = []
    for (setting, threshold, noise), instances in gathered.items():
        models = {}
        for instance in instances:
            models.setdefault(instance.model, []).append(instance)
        for model, own in models.items():
            result.append(ModelSummary(
                setting, threshold, noise, model, len({i.scene for i in own}),
                mean([i.relative for i in own]), mean([i.absolute for i in own]),
                mean([i.scale for i in own]), mean([i.model_keypoints for i in own])))
    result.sort(key=lambda m: (sort_key(m.setting), m.threshold, m.noise, m.model))
    return result


def best_per_noise(summaries_):
    """{(threshold, keep): {noise: Summary of highest relative repeatability}}: settings are
    compared only at the same threshold (a larger one always looks better) and the same budget.
    Ties go to the first setting in sort order."""
    best = {}
    for summary in summaries_:
        if math.isnan(summary.relative):
            continue
        panel = best.setdefault((summary.threshold, summary.setting.keep), {})
        held = panel.get(summary.noise)
        if held is None or summary.relative > held.relative:
            panel[summary.noise] = summary
    return best


def best_of_each(groups, detector_of):
    """The keys of groups ({key: [Summary]}) whose mean relative repeatability over their
    summaries is the highest among the keys of their detector (detector_of(key)), in the
    groups' order; the first key wins a tie, and a key with a mean wins over one without."""
    best = {}
    for key, group in groups.items():
        score = mean([s.relative for s in group])
        held = best.get(detector_of(key))
        if held is None or score > held[1] or (math.isnan(held[1]) and not math.isnan(score)):
            best[detector_of(key)] = (key, score)
    chosen = {key for key, _ in best.values()}
    return [key for key in groups if key in chosen]

"""Writing a report's numbers: report.csv, report-models.csv and the terminal's summary."""

import csv
import io
import math
import os
import tempfile

from .stats import keep_label

SETTING_COLUMNS = ["detector_id", "detector", "setting", "radius", "keep", "threshold", "noise"]
SUMMARY_COLUMNS = SETTING_COLUMNS + [
    "scenes", "instances", "visible_instances", "relative", "relative_low", "relative_high",
    "absolute", "scale", "model_keypoints", "scene_keypoints"]
DENSITY_COLUMNS = ["model_keypoints_per_1000_vertices", "scene_keypoints_per_1000_vertices"]
MODEL_COLUMNS = SETTING_COLUMNS + [
    "model", "scenes", "relative", "absolute", "scale", "model_keypoints"]


def write_atomically(path, write):
    """Calls write(binary file) on a temporary file beside `path`, then renames it to `path`,
    so that `path` is either whole or absent."""
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


def number(value):
    return "nan" if math.isnan(value) else f"{value:.6g}"


def setting_fields(setting, threshold, noise):
    keep = "all" if setting.keep is None else f"{setting.keep:g}"
    return [setting.identity.detector_id, setting.detector, setting.identity.options,
            setting.radius, keep, f"{threshold:g}", f"{noise:g}"]


def summary_fields(summary, densities):
    fields = setting_fields(summary.setting, summary.threshold, summary.noise)
    fields += [summary.scenes, summary.instances, summary.visible]
    values = [summary.relative, summary.low, summary.high, summary.absolute, summary.scale,
              summary.model_keypoints, summary.scene_keypoints]
    if densities:
        values += [summary.model_density, summary.scene_density]
    return fields + [number(v) for v in values]


def model_fields(model):
    fields = setting_fields(model.setting, model.threshold, model.noise) + [model.model,
                                                                            model.scenes]
    values = [model.relative, model.absolute, model.scale, model.model_keypoints]
    return fields + [number(v) for v in values]


def write_csv(path, header, rows):
    """Writes a ';'-separated file of a header and rows of fields, atomically."""
    text = io.StringIO()
    writer = csv.writer(text, delimiter=";", lineterminator="\n")
    writer.writerow(header)
    writer.writerows(rows)
    write_atomically(path, lambda out: out.write(text.getvalue().encode()))


def write_summaries(path, summaries, densities):
    """report.csv: one row per setting, threshold and noise level; the two density columns only
    when the mesh sizes were given."""
    header = SUMMARY_COLUMNS + (DENSITY_COLUMNS if densities else [])
    write_csv(path, header, [summary_fields(s, densities) for s in summaries])


def write_models(path, models):
    """report-models.csv: one row per setting, threshold, noise level and model."""
    write_csv(path, MODEL_COLUMNS, [model_fields(m) for m in models])


def interval(summary):
    if math.isnan(summary.low):
        return "(one scene)"
    return f"[{summary.low:.3f}, {summary.high:.3f}]"


def print_best(best):
    """Prints best_per_noise()'s choice, a block per threshold and budget."""
    print("Best setting per noise level (mean relative repeatability over (scene, model) "
          "instances, 95% bootstrap interval over scenes)")
    for threshold, keep in sorted(best, key=lambda p: (p[0], math.inf if p[1] is None else p[1])):
        print(f"threshold {threshold:g} mr, {keep_label(keep)}")
        print(f"{'noise':>8}  {'setting':<32} {'relative':>8} {'interval':<16} {'absolute':>9} "
              f"{'scale':>6} {'scenes':>6} {'instances':>9}")
        panel = best[(threshold, keep)]
        for noise in sorted(panel):
            s = panel[noise]
            print(f"{noise:>8g}  {s.setting.label():<32} {s.relative:>8.3f} {interval(s):<16} "
                  f"{s.absolute:>9.4g} {s.scale:>6.3f} {s.scenes:>6} {s.instances:>9}")

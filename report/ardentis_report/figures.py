"""Figures of a report, sized for a paper's one-column (3.5 in) and two-column (7 in) widths.

Each function takes Summary or ModelSummary records (stats.py) and returns a matplotlib Figure
that is not attached to pyplot, so that its panels and curves can be inspected before save()
writes it. A detector has one colour (Okabe-Ito palette, safe for colour-blind readers) and its
settings differ by marker and line style: curve_styles() of all the report's settings, given to
every figure as `styles`, keeps them the same from figure to figure.
"""

import math

import matplotlib
from matplotlib import ticker
from matplotlib.figure import Figure
from matplotlib.lines import Line2D

from .output import write_atomically
from .stats import best_of_each, keep_label, mean, sort_key

STYLE = {
    "font.size": 8, "axes.titlesize": 8, "axes.labelsize": 8, "xtick.labelsize": 7,
    "ytick.labelsize": 7, "legend.fontsize": 7, "figure.titlesize": 9, "lines.linewidth": 1.2,
    "lines.markersize": 4, "axes.spines.top": False, "axes.spines.right": False,
    "axes.grid": True, "grid.alpha": 0.3, "grid.linewidth": 0.5, "pdf.fonttype": 42,
    "svg.hashsalt": "ardentis", "savefig.dpi": 200,
}
PALETTE = ["#0072B2", "#D55E00", "#009E73", "#CC79A7", "#E69F00", "#56B4E9", "#000000",
           "#F0E442"]
MARKERS = ["o", "s", "^", "D", "v", "P", "X", "*"]
DASHES = ["-", "--", ":", "-."]
NOISE_AXIS = "scene noise σ (mesh resolutions)"
ONE_COLUMN, TWO_COLUMNS = 3.5, 7.0
PANEL_HEIGHT = 2.0
MAX_CURVES = 12  # more settings in a panel: only the best of each detector is drawn
BAND_ALPHA = 0.15
styled = matplotlib.rc_context(STYLE)


def keep_order(keep):
    return math.inf if keep is None else keep


def curve_styles(settings):
    """{setting variant: line properties}: the detector's colour, and a marker and line style
    for each variant of it (options and radius, whatever the budget)."""
    detectors = sorted({s.detector for s in settings})
    styles, seen = {}, {}
    for variant in sorted({s.variant for s in settings}):
        index = seen.get(variant[0], 0)
        seen[variant[0]] = index + 1
        styles[variant] = {"color": PALETTE[detectors.index(variant[0]) % len(PALETTE)],
                           "marker": MARKERS[index % len(MARKERS)],
                           "linestyle": DASHES[index % len(DASHES)]}
    return styles


def group(records, key):
    """{key(record): [records]} in the order of first appearance."""
    groups = {}
    for record in records:
        groups.setdefault(key(record), []).append(record)
    return groups


def chosen(summaries, best_only=False):
    """(the setting variants to draw, whether some were left out): all of them, or, when asked
    or when there are more than MAX_CURVES, the best of each detector over all the summaries
    (every threshold, budget and noise level), so that a detector keeps one setting throughout
    the figure."""
    groups = group(sorted(summaries, key=lambda s: sort_key(s.setting)),
                   lambda s: s.setting.variant)
    if not best_only and len(groups) <= MAX_CURVES:
        return set(groups), False
    best = set(best_of_each(groups, lambda variant: variant[0]))
    return best, len(best) < len(groups)


def coverage(summaries):
    """"10 scenes, 30 instances" (with "up to" when settings were not all run on as many)."""
    scenes = {s.scenes for s in summaries}
    instances = {s.instances for s in summaries}
    prefix = "up to " if len(scenes) > 1 or len(instances) > 1 else ""
    return (f"{prefix}{max(scenes)} scene{'s' if max(scenes) > 1 else ''}, "
            f"{max(instances)} (scene, model) instances")


def set_title(figure, text):
    """The figure's title: lines of "; "-separated parts, parts moved to a line of their own
    when the line would be wider than the figure (at the title's size)."""
    per_line = int(figure.get_figwidth() * 72 / (0.55 * STYLE["figure.titlesize"]))
    lines = []
    for block in text.split("\n"):
        first, *parts = block.split("; ")
        lines.append(first)
        for part in parts:
            if len(lines[-1]) + 2 + len(part) <= per_line:
                lines[-1] += "; " + part
            else:
                lines[-1] += ";"
                lines.append(part)
    figure.suptitle("\n".join(lines))


def band_note(summaries):
    """What the bands are, when there are any (a single scene has no interval)."""
    if all(math.isnan(s.low) for s in summaries):
        return ""
    return "; bands: 95% bootstrap interval over scenes"


def panel_title(threshold, keep, with_keep):
    text = f"threshold {threshold:g} mr"
    return text + (f", {keep_label(keep)}" if with_keep else "")


def figure_grid(rows, columns, height=PANEL_HEIGHT, sharey=True):
    """A figure of rows x columns panels sharing the x axis and the y axis (or the y axis of
    each row: sharey="row"), one or two paper columns wide."""
    width = ONE_COLUMN if columns == 1 else TWO_COLUMNS
    figure = Figure(figsize=(width, height * rows + 0.5), layout="constrained")
    axes = figure.subplots(rows, columns, sharex=True, sharey=sharey, squeeze=False)
    return figure, axes


def label_axes(figure, xlabel, ylabel, xticks=None):
    """One label per shared axis, and ticks at the values measured when they are few."""
    figure.supxlabel(xlabel, fontsize=STYLE["axes.labelsize"])
    figure.supylabel(ylabel, fontsize=STYLE["axes.labelsize"])
    if xticks and len(xticks) <= 6:
        figure.axes[0].set_xticks(xticks, [f"{x:g}" for x in xticks])


def add_legend(figure, entries):
    """A legend below the panels (savefig's tight box takes it in), its columns fitted to the
    width. entries: {key: (handle, label)}, listed in key order."""
    if not entries:
        return
    listed = [entries[key] for key in sorted(entries)]
    per_entry = 0.5 + 0.055 * max(len(label) for _, label in listed)
    columns = max(1, min(len(listed), int(figure.get_figwidth() // per_entry)))
    figure.legend([h for h, _ in listed], [label for _, label in listed], loc="upper center",
                  bbox_to_anchor=(0.5, 0.0), ncol=columns, frameon=False)


def plot_curve(axis, xs, points, value, style):
    """Draws one curve of Summary points; relative repeatability gets its interval band."""
    (line,) = axis.plot(xs, [getattr(p, value) for p in points], **style)
    lows, highs = [p.low for p in points], [p.high for p in points]
    if value == "relative" and not all(math.isnan(v) for v in lows):
        axis.fill_between(xs, lows, highs, color=style["color"], alpha=BAND_ALPHA, linewidth=0)
    return line


def best_note(reduced):
    return "; the best setting of each detector" if reduced else ""


def single(style):
    """A detector's style when it has one curve: its colour, solid, round markers."""
    return {**style, "marker": MARKERS[0], "linestyle": DASHES[0]}


@styled
def noise_figure(summaries, value="relative", ylabel="relative repeatability", title=None,
                 styles=None, best_only=False):
    """Mean `value` against scene noise: a panel per threshold (columns) and budget (rows), a
    curve per setting (see chosen()). Relative repeatability gets its bootstrap band. Relative
    and scale repeatability share a 0-1 axis; other values (counts, which scale with the
    budget) an axis from 0 for each row."""
    keeps = sorted({s.setting.keep for s in summaries}, key=keep_order)
    thresholds = sorted({s.threshold for s in summaries})
    variants, reduced = chosen(summaries, best_only)
    unit_range = value in ("relative", "scale")
    figure, axes = figure_grid(len(keeps), len(thresholds), sharey=True if unit_range else "row")
    styles = styles or curve_styles([s.setting for s in summaries])
    style = single if best_only or reduced else dict
    lines = {}
    for row, keep in enumerate(keeps):
        top = 1.0
        for column, threshold in enumerate(thresholds):
            axis = axes[row][column]
            panel = [s for s in summaries if s.setting.keep == keep and s.threshold == threshold
                     and s.setting.variant in variants]
            for setting, points in group(panel, lambda s: s.setting).items():
                points.sort(key=lambda s: s.noise)
                line = plot_curve(axis, [p.noise for p in points], points, value,
                                  style(styles[setting.variant]))
                lines.setdefault(setting.variant, (line, setting.label()))
                top = max([top] + [v for v in line.get_ydata() if not math.isnan(v)])
            axis.set_title(panel_title(threshold, keep, len(keeps) > 1))
        axes[row][0].set_ylim(0, 1.0 if unit_range else top * 1.05)
    label_axes(figure, NOISE_AXIS, ylabel, sorted({s.noise for s in summaries}))
    band = band_note(summaries) if value == "relative" else ""
    set_title(figure, f"{title or ylabel.capitalize()} against scene noise{best_note(reduced)}\n"
                    f"mean over {coverage(summaries)}{band}")
    add_legend(figure, lines)
    return figure


def varying_scale(summaries):
    """The summaries of settings whose scale repeatability is not 1 everywhere: a detector that
    writes one fixed scale scores 1 whenever it matches, which says nothing."""
    varies = {s.setting for s in summaries if not math.isnan(s.scale) and s.scale < 1 - 1e-9}
    return [s for s in summaries if s.setting in varies]


@styled
def budget_figure(summaries, styles=None):
    """Relative repeatability against the budget (keypoints per 1,000 vertices): a panel per
    threshold (rows) and noise level (columns), a curve per setting variant across its budgets.
    Settings that keep all their keypoints have no budget and are left out."""
    budgeted = [s for s in summaries if s.setting.keep is not None]
    thresholds = sorted({s.threshold for s in budgeted})
    noises = sorted({s.noise for s in budgeted})
    keeps = sorted({s.setting.keep for s in budgeted})
    variants, reduced = chosen(budgeted)
    figure, axes = figure_grid(len(thresholds), len(noises), height=1.8)
    styles = styles or curve_styles([s.setting for s in budgeted])
    style = single if reduced else dict
    lines = {}
    for row, threshold in enumerate(thresholds):
        for column, noise in enumerate(noises):
            axis = axes[row][column]
            panel = [s for s in budgeted if s.threshold == threshold and s.noise == noise
                     and s.setting.variant in variants]
            for variant, points in group(panel, lambda s: s.setting.variant).items():
                points.sort(key=lambda s: s.setting.keep)
                line = plot_curve(axis, [p.setting.keep for p in points], points, "relative",
                                  style(styles[variant]))
                lines.setdefault(variant, (line, points[0].setting.label()))
            axis.set_title(f"σ = {noise:g}, threshold {threshold:g} mr")
    axis = axes[0][0]
    axis.set_ylim(0, 1)
    if keeps[-1] / keeps[0] >= 4:
        axis.set_xscale("log")
    axis.minorticks_off()
    label_axes(figure, "budget (keypoints per 1,000 vertices)", "relative repeatability", keeps)
    set_title(figure, f"Relative repeatability at equal keypoint budgets{best_note(reduced)}\n"
                    f"mean over {coverage(budgeted)}{band_note(budgeted)}")
    add_legend(figure, lines)
    return figure


@styled
def models_figure(models, summaries, styles=None):
    """Relative repeatability of each model (rows; mean over the scenes it appears in) against
    scene noise, a column per threshold, with the settings chosen() of the summaries. The
    models and summaries are all of one budget."""
    names = sorted({m.model for m in models})
    thresholds = sorted({s.threshold for s in summaries})
    variants, reduced = chosen(summaries)
    figure, axes = figure_grid(len(names), len(thresholds), height=1.5)
    styles = styles or curve_styles([s.setting for s in summaries])
    style = single if reduced else dict
    shown = [m for m in models if m.setting.variant in variants]
    lines = {}
    for (name, threshold, setting), points in group(
            shown, lambda m: (m.model, m.threshold, m.setting)).items():
        points.sort(key=lambda m: m.noise)
        axis = axes[names.index(name)][thresholds.index(threshold)]
        (line,) = axis.plot([p.noise for p in points], [p.relative for p in points],
                            **style(styles[setting.variant]))
        lines.setdefault(setting.variant, (line, setting.label()))
    for row, name in enumerate(names):
        for column, threshold in enumerate(thresholds):
            axes[row][column].set_title(f"{name}, threshold {threshold:g} mr")
    axes[0][0].set_ylim(0, 1)
    label_axes(figure, NOISE_AXIS, "relative repeatability", sorted({m.noise for m in models}))
    keeps = {s.setting.keep for s in summaries}
    budget = f", {keep_label(keeps.pop())}" if len(keeps) == 1 else ""
    set_title(figure, f"Relative repeatability of each model against scene noise{budget}"
                    f"{best_note(reduced)}\nmean over the scenes each model appears in")
    add_legend(figure, lines)
    return figure


def nan_low(value):
    return -math.inf if math.isnan(value) else value


def heatmap_rows(summaries, columns):
    """(settings in row order, matrix of relative repeatability [row][column]): grouped by
    budget, best first by the mean over the columns (threshold, noise)."""
    values = {}
    for summary in summaries:
        values.setdefault(summary.setting, {})[(summary.threshold, summary.noise)] = \
            summary.relative
    order = sorted(values, key=lambda setting: (
        keep_order(setting.keep), -nan_low(mean(list(values[setting].values()))),
        sort_key(setting)))
    return order, [[values[s].get(c, math.nan) for c in columns] for s in order]


def block_ticks(axis, side, positions, labels):
    """Labels of groups of rows or columns on a secondary axis at `side`."""
    secondary = (axis.secondary_xaxis if side == "top" else axis.secondary_yaxis)(side)
    set_ticks = secondary.set_xticks if side == "top" else secondary.set_yticks
    set_ticks(positions, labels)
    secondary.tick_params(length=0)
    for spine in secondary.spines.values():
        spine.set_visible(False)


@styled
def heatmap_figure(summaries, styles=None):
    """Relative repeatability of every setting (rows) at every threshold and noise level
    (columns, a block per threshold); rows best first within each budget, budgets and
    thresholds split by white lines; labels in their detector's colour."""
    thresholds = sorted({s.threshold for s in summaries})
    noises = sorted({s.noise for s in summaries})
    columns = [(t, n) for t in thresholds for n in noises]
    order, matrix = heatmap_rows(summaries, columns)
    keeps = sorted({s.keep for s in order}, key=keep_order)
    rows, many = len(order), len(order) > 60
    longest = max(len(s.label()) for s in order)
    width = min(TWO_COLUMNS, max(ONE_COLUMN, 0.055 * longest + 0.4 * len(columns) + 1.6))
    figure = Figure(figsize=(width, max(2.0, row_height(rows) * rows + 1.3)),
                    layout="constrained")
    axis = figure.subplots()
    image = axis.imshow(matrix, cmap="viridis", vmin=0, vmax=1, aspect="auto",
                        interpolation="nearest")
    axis.grid(False)
    row_labels(axis, order, styles or curve_styles(order), False)
    axis.set_xticks(range(len(columns)), [f"{n:g}" for _, n in columns])
    axis.set_xlabel(NOISE_AXIS)
    block = len(noises)
    block_ticks(axis, "top", [block * i + (block - 1) / 2 for i in range(len(thresholds))],
                [f"threshold {t:g} mr" for t in thresholds])
    for index in range(1, len(thresholds)):
        axis.axvline(block * index - 0.5, color="white", linewidth=3)
    starts = [i for i in range(rows) if i == 0 or order[i].keep != order[i - 1].keep]
    for start in starts[1:]:
        axis.axhline(start - 0.5, color="white", linewidth=3)
    if len(keeps) > 1:
        ends = starts[1:] + [rows]
        block_ticks(axis, "right", [(a + b - 1) / 2 for a, b in zip(starts, ends)],
                    [keep_label(order[a].keep, short=True) for a in starts])
    if not many:
        annotate(axis, matrix)
    figure.colorbar(image, ax=axis, label="relative repeatability", shrink=min(1.0, 30 / rows),
                    aspect=20, pad=0.02 if len(keeps) == 1 else 0.1)
    set_title(figure, f"Relative repeatability of every setting\nmean over {coverage(summaries)}; "
                    "rows best first" + (" within each budget" if len(keeps) > 1 else ""))
    return figure


def annotate(axis, matrix):
    for row, values in enumerate(matrix):
        for column, value in enumerate(values):
            if not math.isnan(value):
                axis.text(column, row, f"{value:.2f}", ha="center", va="center", fontsize=5.5,
                          color="white" if value < 0.55 else "black")


def row_labels(axis, settings, styles, with_keep):
    """Settings as y tick labels, top to bottom, in their detector's colour."""
    axis.set_yticks(range(len(settings)), [s.label(with_keep) for s in settings],
                    fontsize=6 if len(settings) > 40 else 7)
    for label, setting in zip(axis.get_yticklabels(), settings):
        label.set_color(styles[setting.variant]["color"])


def row_height(rows):
    return 0.12 if rows > 60 else 0.16


@styled
def keypoints_figure(summaries, styles=None):
    """Keypoints of every setting (rows): the mean per model (left), and the mean per scene at
    each noise level (right, a marker per level); per 1,000 vertices when the mesh sizes are
    known, else counts."""
    threshold = min(s.threshold for s in summaries)  # counts do not depend on it
    kept = [s for s in summaries if s.threshold == threshold]
    density = kept[0].model_density is not None
    model_value = "model_density" if density else "model_keypoints"
    scene_value = "scene_density" if density else "scene_keypoints"
    settings = sorted({s.setting for s in kept}, key=sort_key)
    noises = sorted({s.noise for s in kept})
    styles = styles or curve_styles(settings)
    colours = [styles[s.variant]["color"] for s in settings]
    rows = {setting: row for row, setting in enumerate(settings)}
    height = max(2.0, row_height(len(settings)) * len(settings) + 1.3)
    figure = Figure(figsize=(TWO_COLUMNS, height), layout="constrained")
    models_axis, scenes_axis = figure.subplots(1, 2, sharey=True, sharex=True)
    per_model = [mean([getattr(s, model_value) for s in kept if s.setting == setting])
                 for setting in settings]
    models_axis.scatter(per_model, range(len(settings)), c=colours, s=14, zorder=3)
    per_scene = {(s.setting, s.noise): getattr(s, scene_value) for s in kept}
    spans = [[per_scene[(s, n)] for n in noises if not math.isnan(per_scene.get((s, n), math.nan))]
             for s in settings]
    ranged = [row for row, span in enumerate(spans) if span]  # a mesh size may be missing
    scenes_axis.hlines(ranged, [min(spans[r]) for r in ranged], [max(spans[r]) for r in ranged],
                       colors=[colours[r] for r in ranged], linewidth=0.6)
    for index, noise in enumerate(noises):
        points = [(per_scene[(s, noise)], rows[s]) for s in settings if (s, noise) in per_scene]
        scenes_axis.scatter([x for x, _ in points], [y for _, y in points], s=14, zorder=3,
                            marker=MARKERS[index % len(MARKERS)], facecolors="none",
                            edgecolors=[colours[y] for _, y in points])
    row_labels(models_axis, settings, styles, len({s.keep for s in settings}) > 1)
    models_axis.set_ylim(len(settings) - 0.5, -0.5)
    values = [v for v in per_model + [v for span in spans for v in span]
              if v > 0 and not math.isnan(v)]
    if values and max(values) / min(values) > 8:
        models_axis.set_xscale("log")
        models_axis.xaxis.set_major_locator(ticker.LogLocator(subs=(1, 2, 5)))
        models_axis.xaxis.set_major_formatter(ticker.FuncFormatter(lambda v, _: f"{v:g}"))
        models_axis.minorticks_off()
    figure.supxlabel("keypoints per 1,000 vertices" if density else "keypoints",
                     fontsize=STYLE["axes.labelsize"])
    models_axis.set_title("models: mean per model")
    scenes_axis.set_title("scenes: mean per scene, at each noise level")
    # The legend's markers stand for a noise level, whatever the detector: grey.
    add_legend(figure, {i: (Line2D([], [], color="0.3", marker=MARKERS[i % len(MARKERS)],
                                   markerfacecolor="none", linestyle=""), f"σ = {n:g}")
                        for i, n in enumerate(noises)})
    sizes = "" if density else " (no mesh sizes given: counts, not densities)"
    set_title(figure, f"Keypoints found by each setting{sizes}\nmean over {coverage(kept)}")
    return figure


def save(figure, directory, name, formats):
    """Writes directory/name.<format> for each format, each file atomically."""
    metadata = {"pdf": {"CreationDate": None}, "svg": {"Date": None}, "png": {}}
    with matplotlib.rc_context(STYLE):
        for extension in formats:
            path = f"{directory}/{name}.{extension}"
            write_atomically(path, lambda out: figure.savefig(
                out, format=extension, bbox_inches="tight", pad_inches=0.03,
                metadata=metadata[extension]))

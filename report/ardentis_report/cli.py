"""The ardentis-report command: options, the order of the steps, exit statuses.

Exit status: 0 done; 1 some input refused or incomplete (each problem named on standard error,
the rest still reported), or nothing could be reported or written; 2 bad command line.
"""

import argparse
import multiprocessing
import os
from concurrent.futures import ProcessPoolExecutor
from functools import partial

from . import figures, outcome_pictures, output, stats, tables
from .tables import warn

FORMATS = ("png", "svg", "pdf")


def parse(argv, version=None):
    """The options of argv; --version is offered when the launcher knows the version."""
    parser = argparse.ArgumentParser(
        prog="ardentis-report",
        description="Statistics and figures of ardentis results tables over scenes, models, "
                    "noise levels, thresholds and detector settings.")
    parser.add_argument("tables", nargs="+", metavar="TABLE",
                        help="results tables (<detector ID>.csv)")
    parser.add_argument("-o", "--output", required=True, metavar="DIR",
                        help="directory of the figures and tables (created when missing)")
    parser.add_argument("--formats", default=",".join(FORMATS),
                        help="figure formats, comma-separated (default: png,svg,pdf)")
    parser.add_argument("--meshes", metavar="FILE",
                        help="vertex counts of the cleaned meshes (Mesh;Vertices)")
    parser.add_argument("--settings", metavar="FILE",
                        help="what each detector ID stands for "
                             "(Detector ID;Detector;Setting;Keep)")
    if version:
        parser.add_argument("--version", action="version", version=f"ardentis-report {version}")
    arguments = parser.parse_args(argv)
    arguments.formats = [f for f in arguments.formats.split(",") if f]
    unknown = [f for f in arguments.formats if f not in FORMATS]
    if unknown or not arguments.formats:
        parser.error(f"unknown figure format: {','.join(unknown) or '(none)'}")
    return arguments


def identities(detector_ids, path):
    """({detector ID: Identity}, problems): from the settings file when given, else (and for
    IDs a readable file lacks, which is a problem) from the IDs themselves."""
    described, problems = tables.read_settings(path) if path else ({}, 0)
    result = {}
    for detector_id in sorted(set(detector_ids)):
        if described and detector_id not in described:
            warn(f"{path}: no row for detector ID {detector_id}; described by its name")
            problems += 1
        result[detector_id] = described.get(detector_id) or tables.identity_from_id(detector_id)
    return result, problems


def read_inputs(arguments):
    """(tables [(ID, rows)], identities, vertices or None, problems). The grid's side files may
    come among the tables; --meshes and --settings name them otherwise."""
    read, problems, paths = [], 0, []
    for path in arguments.tables:
        kind = tables.side_file_kind(path)
        if kind and not getattr(arguments, kind):
            setattr(arguments, kind, path)
        elif not kind:
            paths.append(path)
    for path in paths:
        detector_id, rows, found = tables.read_table(path)
        read.append((detector_id, rows))
        problems += found
    described, found = identities([i for i, rows in read if rows], arguments.settings)
    problems += found
    vertices = None
    if arguments.meshes:
        vertices, found = tables.read_meshes(arguments.meshes)
        problems += found
    return read, described, vertices or None, problems  # an unreadable file was named


def figure_plans(summaries, models):
    """[(name, draw)] for every figure the summaries call for: draw() returns its Figure."""
    styles = figures.curve_styles([s.setting for s in summaries])
    plans = [("relative", partial(figures.noise_figure, summaries, styles=styles)),
             ("absolute", partial(figures.noise_figure, summaries, "absolute",
                                  "repeatable keypoints", "Absolute repeatability", styles))]
    if any(len(v) > 1 for v in figures.group({s.setting.variant for s in summaries},
                                             lambda variant: variant[0]).values()):
        plans.append(("best", partial(figures.noise_figure, summaries, styles=styles,
                                      best_only=True)))
    varying = figures.varying_scale(summaries)
    if varying:
        plans.append(("scale", partial(figures.noise_figure, varying, "scale",
                                       "scale repeatability",
                                       "Scale repeatability (settings whose scales vary)",
                                       styles)))
    if len({s.setting.keep for s in summaries} - {None}) > 1:
        plans.append(("budget", partial(figures.budget_figure, summaries, styles)))
    plans.append(("keypoints", partial(figures.keypoints_figure, summaries, styles)))
    plans.append(("heatmap", partial(figures.heatmap_figure, summaries, styles)))
    keeps = sorted({s.setting.keep for s in summaries}, key=figures.keep_order)
    for keep in keeps:
        name = "models" if len(keeps) == 1 else "models-" + keep_name(keep)
        plans.append((name, partial(figures.models_figure,
                                    [m for m in models if m.setting.keep == keep],
                                    [s for s in summaries if s.setting.keep == keep], styles)))
    return plans


def make_figures(summaries, models):
    """Yields (name, Figure) for every figure the summaries call for, one at a time."""
    for name, draw in figure_plans(summaries, models):
        yield name, draw()


def keep_name(keep):
    return "keep-all" if keep is None else f"keep-{keep:g}"


def usable_cores():
    return len(os.sched_getaffinity(0))


def draw_and_save(name, draw, directory, formats):
    figures.save(draw(), directory, name, formats)


def save_figures(plans, directory, formats, processes):
    """Draws and saves each planned figure, on up to `processes` worker processes (forked, so
    that they start with matplotlib loaded), one figure per worker at a time. Drawing is nearly
    all of a report's time and a figure needs nothing from another. Without POSIX semaphores
    (no /dev/shm) the figures are drawn here, one after the other."""
    pool = None
    if min(processes, len(plans)) > 1:
        try:
            pool = ProcessPoolExecutor(min(processes, len(plans)),
                                       mp_context=multiprocessing.get_context("fork"))
        except (OSError, NotImplementedError):
            pool = None
    if pool is None:
        for name, draw in plans:
            draw_and_save(name, draw, directory, formats)
        return
    with pool:
        done = [pool.submit(draw_and_save, name, draw, directory, formats) for name, draw in plans]
        for figure in done:
            figure.result()  # a worker's error (an OSError: cannot write) is raised here


def write_report(directory, summaries, models, densities, formats, processes=None):
    """Writes the tables and figures, the figures on `processes` processes (default: the cores
    this process may use); returns the names of the figures."""
    os.makedirs(directory, exist_ok=True)
    output.write_summaries(os.path.join(directory, "report.csv"), summaries, densities)
    output.write_models(os.path.join(directory, "report-models.csv"), models)
    plans = figure_plans(summaries, models)
    save_figures(plans, directory, formats, processes or usable_cores())
    return [name for name, _ in plans]


def report(argv, version=None):
    arguments = parse(argv, version)
    read, described, vertices, problems = read_inputs(arguments)
    gathered = stats.gather(read, described)
    if not gathered:
        warn("no rows to report; nothing written")
        return 1
    summaries, missing = stats.summaries(gathered, vertices)
    for mesh in missing:
        warn(f"{arguments.meshes}: no row for mesh {mesh}; left out of the keypoint densities")
    problems += len(missing)
    if vertices is None:
        print("no mesh sizes (--meshes): keypoints per 1,000 vertices left out")
    models = stats.model_summaries(gathered)
    try:
        names = write_report(arguments.output, summaries, models, vertices is not None,
                             arguments.formats)
    except OSError as error:
        warn(f"cannot write in {arguments.output}: {error.strerror}")
        return 1
    output.print_best(stats.best_per_noise(summaries))
    print(f"report written to {arguments.output}: report.csv, report-models.csv and "
          f"{', '.join(names)} as {', '.join(arguments.formats)}")
    return 1 if problems else 0


# Subcommands by first argument; any other first argument is a results table of `report`.
COMMANDS = {"inspect": outcome_pictures.main}


def main(argv, version=None):
    """The exit status of the command line argv; version: the project's, for --version."""
    if argv and argv[0] in COMMANDS:
        return COMMANDS[argv[0]](argv[1:])
    return report(argv, version)

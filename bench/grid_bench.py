#!/usr/bin/python3
"""Where a grid's time goes: ardentis-grid on a ten-scene dataset against its own task lines.

The dataset (ten scenes of two of the three example models each, seen from a viewpoint, at
noise 0, 0.1, 0.3 and 0.5) is written once into <build>/bench-data/grid/ and reused. The grid
runs ISS, Harris 3D and uniform sampling at every noise level and thresholds 1 and 2 on GNU
parallel. Each run is paired with the same manifest lines run bare (xargs -P <cores>, one stage
after the other), so the difference is what the grid adds: GNU parallel, the merge, the report.
Medians over the runs are printed, processor time (user + sys of every process of the run)
beside wall time: the machine may be shared, and wall time then says little.

Usage: grid_bench.py BUILD_DIR [runs]
"""

import os
import re
import resource
import shutil
import statistics
import subprocess
import sys
import time

CORES = os.cpu_count() or 1
MODELS = ["bear_0.ply", "camel_0.ply", "mannequin-devil_0.ply"]
NOISE = ["0.1", "0.3", "0.5"]  # noise 0 is the composed scene
GRID = """[grid]
configFile = scene-*.ini
noise = 0 0.1 0.3 0.5
thresholds = 1 2
report = {report}

[ISS3D]
detector = iss

[HARRIS3D]
detector = harris3d

[UNIFORM]
detector = uniform
"""
STAGES = ("detect", "evaluate")
STARTUP_RUNS = 30
ENGINE_TASKS = 200


class Run:
    """One child process tree run to its end: start (epoch s), wall and processor seconds (user
    + sys of every descendant it waited for), its output lines with their arrival times."""

    def __init__(self, start, wall, cpu, lines, status):
        self.start, self.wall, self.cpu, self.lines, self.status = start, wall, cpu, lines, status


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def run(argv, cwd, env=None):
    cpu, start = children_cpu(), time.time()
    child = subprocess.Popen(argv, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    lines = [(time.time(), line.rstrip("\n")) for line in child.stdout]
    status = child.wait()
    return Run(start, time.time() - start, children_cpu() - cpu, lines, status)


def checked(argv, cwd, env=None):
    result = run(argv, cwd, env)
    if result.status != 0:
        tail = "\n".join(line for _, line in result.lines[-15:])
        sys.exit(f"grid_bench: {' '.join(argv)} (in {cwd}) ended with status {result.status}\n"
                 f"{tail}")
    return result


def make_dataset(build, directory, examples):
    """The ten-scene dataset and two grid files: grid.ini, and grid-merge.ini without the report
    (the same tasks, for timing the merge alone)."""
    if not os.path.isfile(os.path.join(directory, "data/scenes/scene-010_0.5.ply")):
        shutil.rmtree(directory, ignore_errors=True)
        os.makedirs(os.path.dirname(directory), exist_ok=True)
        scene = [f"{build}/ardentis-prepare", "scene", "-o", directory, "--scenes", "10",
                 "--models-per-scene", "2", "--view", "0", "0", "1000"]
        for model in MODELS:
            scene += ["--model", os.path.join(examples, "data/models", model)]
        checked(scene, ".")
        configurations = sorted(f for f in os.listdir(directory)
                                if f.startswith("scene-") and f.endswith(".ini"))
        checked([f"{build}/ardentis-prepare", "noise", "-C", *configurations, "-n", *NOISE],
                directory)
    for name, report in (("grid.ini", "report"), ("grid-merge.ini", "none")):
        with open(os.path.join(directory, name), "w") as out:
            out.write(GRID.format(report=report))


def make_tiny(build, directory):
    """One 12-vertex model (an icosahedron) in a scene, one keypoint per mesh: an evaluation
    that is nearly all start-up."""
    if os.path.isfile(os.path.join(directory, "feats/TINY_scene_0.1.feat")):
        return
    os.makedirs(os.path.join(directory, "feats"), exist_ok=True)
    p = (1 + 5 ** 0.5) / 2
    vertices = [(-1, p, 0), (1, p, 0), (-1, -p, 0), (1, -p, 0), (0, -1, p), (0, 1, p),
                (0, -1, -p), (0, 1, -p), (p, 0, -1), (p, 0, 1), (-p, 0, -1), (-p, 0, 1)]
    faces = [(0, 11, 5), (0, 5, 1), (0, 1, 7), (0, 7, 10), (0, 10, 11), (1, 5, 9), (5, 11, 4),
             (11, 10, 2), (10, 7, 6), (7, 1, 8), (3, 9, 4), (3, 4, 2), (3, 2, 6), (3, 6, 8),
             (3, 8, 9), (4, 9, 5), (2, 4, 11), (6, 2, 10), (8, 6, 7), (9, 8, 1)]
    model = os.path.join(directory, "ico.ply")
    with open(model, "w") as out:
        out.write(f"ply\nformat ascii 1.0\nelement vertex {len(vertices)}\nproperty float x\n"
                  f"property float y\nproperty float z\nelement face {len(faces)}\n"
                  "property list uchar int vertex_indices\nend_header\n")
        out.writelines(f"{x} {y} {z}\n" for x, y, z in vertices)
        out.writelines(f"3 {a} {b} {c}\n" for a, b, c in faces)
    checked([f"{build}/ardentis-prepare", "scene", "-o", directory, "--model", model, "--force"],
            ".")
    checked([f"{build}/ardentis-prepare", "noise", "-C", "test.ini", "-n", "0.1"], directory)
    for mesh in ("ico_0", "scene_0.1"):
        with open(os.path.join(directory, "feats", f"TINY_{mesh}.feat"), "w") as out:
            out.write("1\n-1 1.618034 0 1 0 1\n")


def read_joblog(path):
    """(start, runtime, kind) of every task of a GNU parallel job log; the kind is the task
    directory's: detect, keep, measure or evaluate."""
    jobs = []
    with open(path) as log:
        next(log)
        for line in log:
            fields = line.rstrip("\n").split("\t")
            kind = re.search(r"/tasks/(\w+)/", fields[8]).group(1)
            jobs.append((float(fields[2]), float(fields[3]), kind))
    return jobs


def clean(directory, keep_manifests=False):
    """Removes what a grid wrote, the dataset staying; with keep_manifests, results/ keeps its
    manifests."""
    for name in ["results/tasks" if keep_manifests else "results", "report", "feats"]:
        shutil.rmtree(os.path.join(directory, name), ignore_errors=True)


def grid_run(build, directory, figures):
    """A whole grid from nothing. Fills `figures` with its wall and processor time, the phases of
    its wall (from the job logs' start times and the moment its summary line came), and each
    task kind's summed run time."""
    clean(directory)
    grid = checked([f"{build}/ardentis-grid", "grid.ini"], directory)
    jobs = {s: read_joblog(os.path.join(directory, f"results/joblog-{s}.txt")) for s in STAGES}
    first = {s: min(j[0] for j in jobs[s]) for s in STAGES}
    last = {s: max(j[0] + j[1] for j in jobs[s]) for s in STAGES}
    summary = next(t for t, line in grid.lines if line.startswith("tasks: "))
    figures["grid wall"], figures["grid cpu"] = grid.wall, grid.cpu
    figures["phase: start to first task"] = first["detect"] - grid.start
    figures["phase: detection stage"] = last["detect"] - first["detect"]
    figures["phase: between the stages"] = first["evaluate"] - last["detect"]
    figures["phase: evaluation stage"] = last["evaluate"] - first["evaluate"]
    figures["phase: last task to summary"] = summary - last["evaluate"]
    figures["phase: report"] = grid.start + grid.wall - summary
    for stage in STAGES:
        busy = sum(runtime for _, runtime, _ in jobs[stage])
        figures[f"idle {stage}"] = CORES * (last[stage] - first[stage]) - busy
        for _, runtime, kind in jobs[stage]:
            figures[f"tasks {kind}"] = figures.get(f"tasks {kind}", 0.0) + runtime
            figures[f"count {kind}"] = figures.get(f"count {kind}", 0) + 1


# The report drawing its figures one after the other in its own process, for comparison with
# its figures drawn on every core.
ONE_PROCESS = ("import sys; sys.path.insert(0, sys.argv.pop(1)); from ardentis_report import cli; "
               "cli.usable_cores = lambda: 1; sys.exit(cli.main(sys.argv[1:]))")


def merge_and_report(build, directory, figures):
    """The merge alone (the grid without its report, running nothing) and the report alone, on
    what the last run left: as the grid calls it, and with its figures on one process."""
    merge = checked([f"{build}/ardentis-grid", "grid-merge.ini", "--merge"], directory)
    results = os.path.join(directory, "results")
    tables = sorted(os.path.join(results, f) for f in os.listdir(results)
                    if f.endswith(".csv") and f not in ("meshes.csv", "settings.csv"))
    arguments = [*tables, "-o", os.path.join(directory, "report"), "--meshes",
                 os.path.join(results, "meshes.csv"), "--settings",
                 os.path.join(results, "settings.csv")]
    report = checked([f"{build}/ardentis-report", *arguments], directory)
    alone = checked(["/usr/bin/python3", "-c", ONE_PROCESS, build, *arguments], directory)
    figures["merge wall"], figures["merge cpu"] = merge.wall, merge.cpu
    figures["report wall"], figures["report cpu"] = report.wall, report.cpu
    figures["report 1 wall"], figures["report 1 cpu"] = alone.wall, alone.cpu


def bare_run(directory, manifests, figures):
    """The grid's manifest lines by xargs, <cores> at a time, detection then evaluation."""
    clean(directory, keep_manifests=True)
    for stage in STAGES:
        bare = checked(["xargs", "-P", str(CORES), "-d", "\n", "-n", "1", "-a", manifests[stage],
                        "sh", "-c"], directory)
        figures[f"bare {stage} wall"], figures[f"bare {stage} cpu"] = bare.wall, bare.cpu
    tasks = os.path.join(directory, "results/tasks")
    done = sum(os.path.isfile(os.path.join(tasks, kind, task, "done"))
               for kind in os.listdir(tasks) for task in os.listdir(os.path.join(tasks, kind)))
    lines = 0
    for stage in STAGES:
        with open(manifests[stage]) as manifest:
            lines += sum(1 for _ in manifest)
    if done != lines:
        sys.exit(f"grid_bench: the bare lines finished {done} tasks of {lines}")


def repeated(argv, cwd, runs, env=None):
    """Median wall and mean processor seconds of one run of argv."""
    results = [checked(argv, cwd, env) for _ in range(runs)]
    return statistics.median(r.wall for r in results), sum(r.cpu for r in results) / runs


def startup(build, tiny, dataset, scratch):
    """ardentis on the tiny test set and on one evaluation of the dataset (ISS, scene-001,
    noise 0.1, threshold 1), each run STARTUP_RUNS times."""
    evaluate = [f"{build}/ardentis", "-S", "feats", "-O", scratch, "-n", "0.1", "-t", "1"]
    return {
        "tiny": repeated(evaluate + ["-C", "test.ini", "--detectorID", "TINY"], tiny,
                         STARTUP_RUNS),
        "scene": repeated(evaluate + ["-C", "scene-001.ini", "--detectorID", "ISS3D"], dataset,
                          STARTUP_RUNS),
    }


def engine_cost(scratch):
    """GNU parallel as the grid calls it (job log, --resume-failed, /bin/sh) against xargs, on
    ENGINE_TASKS lines that do nothing: (wall, cpu) of each, three runs' medians."""
    manifest = os.path.join(scratch, "true.txt")
    with open(manifest, "w") as out:
        out.write("true\n" * ENGINE_TASKS)
    environment = dict(os.environ, PARALLEL_SHELL="/bin/sh")
    joblog = os.path.join(scratch, "joblog.txt")
    costs = {}
    for name, argv in (
            ("parallel", ["parallel", "--will-cite", "--joblog", joblog, "--resume-failed",
                          "--arg-file", manifest]),
            ("xargs", ["xargs", "-P", str(CORES), "-d", "\n", "-n", "1", "-a", manifest, "sh",
                       "-c"])):
        runs = []
        for _ in range(3):
            if os.path.exists(joblog):
                os.remove(joblog)
            runs.append(checked(argv, scratch, environment))
        costs[name] = (statistics.median(r.wall for r in runs),
                       statistics.median(r.cpu for r in runs))
    start = [checked(["parallel", "--will-cite", "--joblog", joblog, ":::", "true"], scratch,
                     environment) for _ in range(3)]
    costs["parallel start"] = (statistics.median(r.wall for r in start),
                               statistics.median(r.cpu for r in start))
    return costs


def row(label, wall, cpu=None):
    print(f"{label:48}{wall:9.2f}" + ("" if cpu is None else f"{cpu:9.2f}"))


def print_totals(runs, m):
    """The grid against its bare lines, the merge and the report."""
    def median_difference(kind):
        return statistics.median(r[f"grid {kind}"] - r[f"bare detect {kind}"] -
                                 r[f"bare evaluate {kind}"] for r in runs)
    engine = statistics.median(
        r["grid wall"] - r["phase: report"] - r["phase: last task to summary"] -
        r["bare detect wall"] - r["bare evaluate wall"] for r in runs)
    print(f"\nmedians of {len(runs)} runs; processor time is user + sys of every process")
    print(f"{'':48}{'wall s':>9}{'cpu s':>9}")
    row("ardentis-grid, whole", m["grid wall"], m["grid cpu"])
    row(f"bare task lines (xargs -P {CORES})", m["bare detect wall"] + m["bare evaluate wall"],
        m["bare detect cpu"] + m["bare evaluate cpu"])
    row("  detection manifest", m["bare detect wall"], m["bare detect cpu"])
    row("  evaluation manifest", m["bare evaluate wall"], m["bare evaluate cpu"])
    overhead = median_difference("wall")
    row("grid - bare (median of the runs' differences)", overhead, median_difference("cpu"))
    print(f"  = {100 * overhead / m['grid wall']:.1f}% of the grid's wall time; without its merge"
          f" and report {engine:.2f} s, {100 * engine / m['grid wall']:.1f}%")
    row("merge alone (ardentis-grid --merge)", m["merge wall"], m["merge cpu"])
    row("report alone (ardentis-report)", m["report wall"], m["report cpu"])
    row("report alone, its figures on one process", m["report 1 wall"], m["report 1 cpu"])


def print_phases(m):
    print("\nthe grid's wall time by phase (job logs' start times, the summary line's arrival)")
    for key in [k for k in m if k.startswith("phase: ")]:
        print(f"  {key[7:]:46}{m[key]:9.2f}   {100 * m[key] / m['grid wall']:5.1f}%")
    print(f"  idle core-seconds within the stages (cores x span - task time): detection"
          f" {m['idle detect']:.2f}, evaluation {m['idle evaluate']:.2f}")


def print_tasks(m):
    total = sum(m[k] for k in m if k.startswith("tasks "))
    print("\ntask time by kind (sum of the job logs' run times, wall)")
    for kind in [k[6:] for k in m if k.startswith("count ")]:
        spent, count = m[f"tasks {kind}"], m[f"count {kind}"]
        print(f"  {kind:10}{count:5.0f} tasks {spent:9.2f} s  {1000 * spent / count:8.0f} ms/task"
              f"  {100 * spent / total:5.1f}%")
    detection = m["bare detect cpu"] / (m["bare detect cpu"] + m["bare evaluate cpu"])
    print(f"  processor time of the bare lines: detection manifest {100 * detection:.1f}%,"
          f" evaluation manifest {100 * (1 - detection):.1f}%")


def print_costs(m, costs, starts):
    print("\nper-task costs")
    for name, label in (("tiny", "ardentis, 12-vertex test set"),
                        ("scene", "ardentis, scene-001 (ISS, noise 0.1, t 1)")):
        wall, cpu = starts[name]
        print(f"  {label:46}{1000 * wall:8.1f} ms wall {1000 * cpu:8.1f} ms cpu")
    print(f"  start-up share of a dataset evaluation:"
          f" {100 * starts['tiny'][1] / starts['scene'][1]:.0f}% of its processor time")
    extra = [(costs["parallel"][i] - costs["xargs"][i]) / ENGINE_TASKS for i in (0, 1)]
    print(f"  GNU parallel over xargs, per task ({ENGINE_TASKS} tasks of 'true'):"
          f" {1000 * extra[0]:.1f} ms wall, {1000 * extra[1]:.1f} ms cpu;"
          f" its start-up {1000 * costs['parallel start'][0]:.0f} ms wall,"
          f" {1000 * costs['parallel start'][1]:.0f} ms cpu")
    count = sum(m[k] for k in m if k.startswith("count "))
    engine_cpu = count * extra[1] + len(STAGES) * costs["parallel start"][1]
    print(f"  so GNU parallel costs this grid's {count:.0f} tasks about {engine_cpu:.2f} s cpu"
          f" ({100 * engine_cpu / m['grid cpu']:.1f}% of the grid's processor time)")


def print_report(runs, costs, starts):
    m = {key: statistics.median(r[key] for r in runs) for key in runs[0]}
    print_totals(runs, m)
    print_phases(m)
    print_tasks(m)
    print_costs(m, costs, starts)


def main(argv):
    if len(argv) < 2:
        sys.exit(__doc__)
    build = os.path.abspath(argv[1])
    runs = int(argv[2]) if len(argv) > 2 else 3
    examples = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "examples")
    root = os.path.join(build, "bench-data")
    dataset, tiny, scratch = (os.path.join(root, d) for d in ("grid", "grid-tiny", "grid-scratch"))
    make_dataset(build, dataset, examples)
    make_tiny(build, tiny)
    os.makedirs(scratch, exist_ok=True)
    manifests = {s: os.path.join(scratch, f"manifest-{s}.txt") for s in STAGES}
    print(f"grid bench: {dataset}, {CORES} cores, load average {os.getloadavg()[0]:.1f}")
    figures = []
    for number in range(runs):
        current = {}
        if number % 2:  # alternate the order: a load that changes favours neither
            bare_run(dataset, manifests, current)
        grid_run(build, dataset, current)
        for stage in STAGES:
            shutil.copyfile(os.path.join(dataset, f"results/manifest-{stage}.txt"),
                            manifests[stage])
        merge_and_report(build, dataset, current)
        if number % 2 == 0:
            bare_run(dataset, manifests, current)
        print(f"run {number + 1}: grid {current['grid wall']:.1f} s wall"
              f" {current['grid cpu']:.1f} s cpu; bare lines"
              f" {current['bare detect wall'] + current['bare evaluate wall']:.1f} s wall"
              f" {current['bare detect cpu'] + current['bare evaluate cpu']:.1f} s cpu;"
              f" load {os.getloadavg()[0]:.1f}", flush=True)
        figures.append(current)
    starts = startup(build, tiny, dataset, os.path.join(scratch, "results"))
    costs = engine_cost(scratch)
    print_report(figures, costs, starts)
    print(f"load average at the end: {os.getloadavg()[0]:.1f}")


if __name__ == "__main__":
    main(sys.argv)

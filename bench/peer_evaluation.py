#!/usr/bin/python3
"""The evaluation written the way a user would write it with Open3D and SciPy.

The bench's peer: it reads the same test configuration, meshes, ground truth and keypoint
files as ardentis, and prints the counts ardentis prints (mean models' resolution, and for each
model the keypoints present in the scene, the repeatable ones and the two ratios) in ardentis's
own wording, so that the bench can compare both outputs line by line.

Usage: peer_evaluation.py -C test.ini -S feats --detectorID NAME [-t 1] [-n 0.1] [-r R]
(run in the directory that holds data/).
"""

import argparse
import configparser

import numpy as np
import open3d as o3d
from scipy.spatial import cKDTree


def mesh_path(configured, suffix):
    path = ("./data/" + configured).replace('"', "")
    dot = path.rfind(".")
    return path[:dot] + suffix + path[dot:]


def load_clean_mesh(path):
    """Vertices (float64 holding float32 values) and triangles, with exact copies of a vertex
    merged, unused vertices dropped and triangles left without three distinct corners removed."""
    mesh = o3d.io.read_triangle_mesh(path)
    if not mesh.has_vertices():
        raise SystemExit("cannot read " + path)
    mesh.remove_duplicated_vertices()
    mesh.remove_unreferenced_vertices()
    mesh.remove_degenerate_triangles()
    return np.asarray(mesh.vertices), np.asarray(mesh.triangles)


def resolution(vertices, triangles):
    """Mean length of the triangles' edges, every triangle closed on itself."""
    corners = vertices[triangles]
    edges = corners - np.roll(corners, -1, axis=1)
    return float(np.sqrt((edges * edges).sum(axis=2)).mean())


def read_keypoints(path):
    """Positions (float32) and scales (float32) of a keypoint file in text form."""
    table = np.loadtxt(path, skiprows=1, usecols=range(6), ndmin=2)
    return table[:, :3].astype(np.float32), table[:, 3].astype(np.float32)


def read_pose(path):
    with open(path) as f:
        values = np.array(f.read().split()[:12], dtype=np.float32).reshape(3, 4)
    return values[:, :3], values[:, 3]


def apply_pose(points, rotation, translation):
    """rotation . p + translation in single precision, summed as ardentis does."""
    x, y, z = points[:, 0], points[:, 1], points[:, 2]
    rows = [(r[0] * x + r[1] * y) + r[2] * z + t for r, t in zip(rotation, translation)]
    return np.stack(rows, axis=1)


def squared_distances(points, targets):
    d = targets - points.astype(np.float64)
    return d[:, 0] * d[:, 0] + d[:, 1] * d[:, 1] + d[:, 2] * d[:, 2]


def scale_scores(model_scale, scene_scale, matched):
    m = model_scale.astype(np.float64)
    s = scene_scale
    with np.errstate(divide="ignore", invalid="ignore"):
        ratio = np.minimum(s, m) / np.maximum(s, m)
    score = np.where(s == m, 1.0, ratio**3)
    return np.where(matched & ~np.isnan(score), score, 0.0)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-C", "--configFile", required=True)
    parser.add_argument("-S", "--savingPath", required=True)
    parser.add_argument("--detectorID", required=True)
    parser.add_argument("-t", "--repeatabilityTh", type=float, default=1.0)
    parser.add_argument("-n", "--sigmaSceneNoise", type=float, default=0.1)
    parser.add_argument("-r", "--radius", type=int, default=-1)
    parser.add_argument("-O", "--outputPath")  # accepted for ardentis's command line; unused
    args = parser.parse_args()

    config = configparser.ConfigParser()
    config.optionxform = str
    config.read(args.configFile)
    prefix = args.savingPath + "/" + args.detectorID
    if args.radius > 0:
        prefix += "_R-%d" % args.radius

    def keypoint_file(path):
        return "%s_%s.feat" % (prefix, path.rsplit("/", 1)[-1].rsplit(".", 1)[0])

    models = []
    for i in range(int(config["MODELS"]["NUMBER"])):
        path = mesh_path(config["MODELS"]["MODEL_%d" % i], "_0")
        vertices, triangles = load_clean_mesh(path)
        rotation, translation = read_pose("./data/" + config["MODELS"]["MODEL_%d_GROUNDTRUTH" % i])
        models.append((path, resolution(vertices, triangles), rotation, translation))
    mean_resolution = sum(m[1] for m in models) / len(models)
    print("   Mean models' resolution: %f" % mean_resolution)

    scene_path = mesh_path(config["SCENE"]["PATH"], "_%g" % args.sigmaSceneNoise)
    scene_vertices, _ = load_clean_mesh(scene_path)
    scene_points, scene_scales = read_keypoints(keypoint_file(scene_path))
    scene_scales = scene_scales.astype(np.float64)
    surface = cKDTree(scene_vertices)
    detections = cKDTree(scene_points.astype(np.float64))
    epsilon = float(np.float32((args.repeatabilityTh * mean_resolution) ** 2))

    for i, (path, _, rotation, translation) in enumerate(models):
        points, scales = read_keypoints(keypoint_file(path))
        mapped = apply_pose(points, rotation, translation)
        _, nearest = surface.query(mapped.astype(np.float64))
        visible = squared_distances(mapped, scene_vertices[nearest]) <= epsilon
        mapped, scales = mapped[visible], scales[visible]
        _, match = detections.query(mapped.astype(np.float64))
        e2 = squared_distances(mapped, scene_points[match].astype(np.float64))
        repeatable = int((e2 <= epsilon).sum())
        scores = scale_scores(scales, scene_scales[match], e2 < epsilon)
        total = float(np.cumsum(scores)[-1]) if len(scores) else 0.0  # summed in order
        present = int(visible.sum())
        print("Keypoints of the model[%d] present in the scene: %d" % (i, present))
        print("Keypoints of the model[%d] closer than epsilon to a keypoints of the scene: %d"
              % (i, repeatable))
        print("Model %d repeatability :%f" % (i, repeatable / present if present else 0.0))
        print("Model %d scaleRepeatability :%f" % (i, total / repeatable if repeatable else 0.0))


if __name__ == "__main__":
    main()

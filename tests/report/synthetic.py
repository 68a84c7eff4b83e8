"""Synthetic results tables of a multi-scene benchmark, with plausible numbers: repeatability
falls with noise, rises with the threshold, differs by detector, scene and instance; counts
follow the budget and the mesh sizes; only SIFT3D writes scales that vary.

  python3 synthetic.py DIR [scenes models settings-per-detector]
      writes DIR/<detector ID>.csv, DIR/settings.csv and DIR/meshes.csv
"""

import math
import os
import sys

import numpy

HEADER = (";Sigma noise;Radius;Repeatable Keypoints;TotScaleRepeatability;RepeatabilityTh;"
          "Model Keypoints;Non-occluded Keypoints;Scene Keypoints;Scene Name\n")
# detector: (repeatability at noise 0 and t=1, decay with noise, keypoints per 1,000 vertices
# when all are kept, radius)
DETECTORS = {"ISS3D": (0.82, 3.0, 12, 6), "HARRIS3D": (0.72, 2.2, 20, 6),
             "SIFT3D": (0.62, 1.4, 8, -1), "UNIFORM": (0.35, 0.7, 15, 6)}
MODELS = ["armadillo", "bunny", "dragon", "happy", "chef", "chicken", "parasaurolophus", "rhino"]


def benchmark(scenes=10, models=3, variants=1, keeps=(2, 5, 10), noises=(0, 0.1, 0.3, 0.5),
              thresholds=(1, 2), seed=7):
    """({file name: text}) of the tables, settings.csv and meshes.csv of a benchmark."""
    rng = numpy.random.default_rng(seed)
    names = MODELS[:models]
    model_vertices = {m: 18000 + 4000 * i for i, m in enumerate(names)}
    scene_ids = [f"scene-{s:03d}" for s in range(scenes)]
    scene_effect = dict(zip(scene_ids, rng.normal(0, 0.06, scenes)))
    visible = {(s, m): rng.uniform(0.3, 0.8) for s in scene_ids for m in names}
    files = {"settings.csv": "Detector ID;Detector;Setting;Keep\n", "meshes.csv": "Mesh;Vertices\n"}
    files["meshes.csv"] += "".join(f"{m}_0;{v}\n" for m, v in model_vertices.items())
    for index, scene in enumerate(scene_ids):
        files["meshes.csv"] += "".join(f"{scene}_{n:g};{120000 + 15000 * index}\n" for n in noises)
    for detector, (base, decay, density, radius) in DETECTORS.items():
        for variant in range(variants):
            option = f"gamma21={0.975 - 0.025 * variant:g}" if variants > 1 else ""
            for keep in list(keeps) + [None]:
                name = detector + (f"_gamma21-{0.975 - 0.025 * variant:g}" if option else "")
                name += f"_keep-{keep:g}" if keep else ""
                files["settings.csv"] += f"{name};{detector};{option};{keep or 'all'}\n"
                kv = keep or density
                shift = -0.04 * variant + (0.04 * math.log(10 / keep) if keep else 0)
                if detector == "UNIFORM" and keep:
                    shift = -0.1 * math.log(10 / keep)
                rows = [HEADER]
                for scene in scene_ids:
                    vertices = 120000 + 15000 * scene_ids.index(scene)
                    for noise in noises:
                        for threshold in thresholds:
                            for model in names:
                                rate = (base + shift) * math.exp(-decay * noise)
                                rate = 1 - (1 - rate) ** threshold + scene_effect[scene]
                                rate = min(1, max(0, rate + rng.normal(0, 0.04)))
                                count = round(kv * model_vertices[model] / 1000)
                                seen = round(visible[(scene, model)] * count)
                                found = int(rng.binomial(seen, rate))
                                scale = found * (rng.uniform(0.55, 0.8)
                                                 if detector == "SIFT3D" else 1.0)
                                scene_count = round(kv * vertices / 1000 * (1 + 0.4 * noise))
                                rows.append(f"{model}_0;{noise:g};{radius};{found};{scale:.4f};"
                                            f"{threshold:g};{count};{seen};{scene_count};"
                                            f"{scene}_{noise:g}\n")
                files[name + ".csv"] = "".join(rows)
    return files


if __name__ == "__main__":
    directory = sys.argv[1]
    os.makedirs(directory, exist_ok=True)
    sizes = [int(v) for v in sys.argv[2:5]]
    for file_name, text in benchmark(*sizes).items():
        with open(os.path.join(directory, file_name), "w") as out:
            out.write(text)

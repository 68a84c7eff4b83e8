"""ardentis-report inspect MESH...: the picture of an ardentis-inspect mesh, beside it.

The mesh (binary little-endian PLY) holds the scene's vertices and faces, then one small
octahedron per keypoint, coloured by outcome; its header comments say what run it comes from
and how its vertices are laid out (ardentis-inspect writes them). The picture zooms on the
region of the model: the scene's surface there, seen along the scene's principal axes (three
panels) or from the viewpoint the comments name (one panel), with every keypoint of the model
drawn over it in its outcome's colour (so that the occluded ones show too) and the scene's
keypoints of the region in blue. The surface is drawn as pixels by a z-buffer of its own
(numpy), which also tells the keypoints that the surface hides in a view, drawn faint: a
collection of one polygon per triangle would cost seconds per panel on a scan of millions.
"""

import argparse
import os
from collections import namedtuple

import numpy as np
from matplotlib.colors import to_rgba
from matplotlib.figure import Figure
from matplotlib.lines import Line2D

from . import figures
from .tables import warn

# Marker groups after the scene's vertices, in file order: (comment key, legend label).
GROUPS = (("scene", "scene keypoints"), ("repeatable", "repeatable"),
          ("non-occluded", "non-occluded, not repeatable"), ("occluded", "occluded"))
LEGEND_ORDER = ("repeatable", "non-occluded", "occluded", "scene")
# The look of each group: model keypoints under the scene's, the occluded ones as rings (no
# surface holds them), the scene's small enough to show beside a matched one.
LOOKS = {"occluded": {"s": 7, "linewidths": 0.5, "zorder": 2},
         "non-occluded": {"s": 8, "linewidths": 0.2, "zorder": 3},
         "repeatable": {"s": 8, "linewidths": 0.2, "zorder": 3.1},
         "scene": {"s": 2, "linewidths": 0, "zorder": 4}}
HOLLOW = {"occluded"}
HIDDEN_ALPHA = 0.25  # keypoints behind the surface in a view
MARGIN = 0.08  # of the model's largest extent, around it: the region drawn
RASTER_PIXELS = 900  # the longer side of a panel's surface, drawn as pixels
BATCH = 1 << 18  # pixel samples of triangles taken at a time
PLY_TYPES = {"char": "i1", "int8": "i1", "uchar": "u1", "uint8": "u1", "short": "<i2",
             "int16": "<i2", "ushort": "<u2", "uint16": "<u2", "int": "<i4", "int32": "<i4",
             "uint": "<u4", "uint32": "<u4", "float": "<f4", "float32": "<f4",
             "double": "<f8", "float64": "<f8"}

# info: the header comments {key: text}; markers: {group: (centres n x 3, colour or None)}.
Inspected = namedtuple("Inspected", "info vertices colours faces markers")
# project(points) -> (x, y, depth) in the picture; sight(points) -> unit viewing directions.
View = namedtuple("View", "title project sight")


class MeshError(Exception):
    """A file that is not an ardentis-inspect mesh: the message says why."""


def read_header(data):
    """(comments {key: rest of the line}, elements [(name, count, [property words])], offset of
    the body)."""
    end = data.find(b"end_header\n")
    if not data.startswith(b"ply\n") or end < 0:
        raise MeshError("not a PLY file")
    comments, elements = {}, []
    for line in data[:end].decode("ascii", "replace").splitlines()[1:]:
        words = line.split()
        if not words:
            continue
        if words[0] == "format" and words[1:2] != ["binary_little_endian"]:
            raise MeshError(f"PLY format {' '.join(words[1:])}, not binary_little_endian")
        if words[0] == "comment" and len(words) > 1:
            comments[words[1]] = line.split(None, 2)[2] if len(words) > 2 else ""
        elif words[0] == "element" and len(words) == 3:
            elements.append((words[1], int(words[2]), []))
        elif words[0] == "property" and elements:
            elements[-1][2].append(words[1:])
    return comments, elements, end + len(b"end_header\n")


def read_faces(data, offset, count, properties):
    """(faces, offset after them) of a face element whose first property is a list: an n x 3
    array when all are triangles, else a list of index arrays."""
    _, count_type, index_type, _ = properties[0]
    count_dtype, index_dtype = np.dtype(PLY_TYPES[count_type]), np.dtype(PLY_TYPES[index_type])
    triangle = np.dtype([("n", count_dtype), ("i", index_dtype, 3)])
    if len(properties) == 1 and len(data) - offset >= count * triangle.itemsize:
        fast = np.frombuffer(data, triangle, count, offset)
        if (fast["n"] == 3).all():  # all triangles, the usual case: one read
            return fast["i"].astype(np.int64), offset + count * triangle.itemsize
    faces = []
    for _ in range(count):
        n = int(np.frombuffer(data, count_dtype, 1, offset)[0])
        offset += count_dtype.itemsize
        faces.append(np.frombuffer(data, index_dtype, n, offset).astype(np.int64))
        offset += n * index_dtype.itemsize
    return faces, offset


def marker_centres(info, vertices, colours):
    """{group: (centres n x 3, colour as matplotlib takes it, or None for an empty group)} of the
    markers after the scene's vertices."""
    first, per_marker = int(info["scene-vertices"]), int(info["marker-vertices"])
    words = info["markers"].split()
    counts = dict(zip(words[0::2], map(int, words[1::2])))
    markers = {}
    for group, _ in GROUPS:
        size = counts[group] * per_marker
        if first + size > len(vertices):
            raise ValueError("fewer vertices than its markers need")
        colour = tuple(colours[first] / 255.0) if size else None
        markers[group] = (vertices[first:first + size].reshape(-1, per_marker, 3).mean(axis=1),
                          colour)
        first += size
    return markers


def read_mesh(path):
    """The Inspected mesh at `path`; MeshError when it is not one ardentis-inspect wrote."""
    with open(path, "rb") as source:
        data = source.read()
    vertices = colours = None
    faces = []
    try:
        info, elements, offset = read_header(data)
        if "ardentis-inspect" not in info:
            raise MeshError("no ardentis-inspect comments in its header")
        for name, count, properties in elements:
            if name == "vertex":
                dtype = np.dtype([(p[1], PLY_TYPES[p[0]]) for p in properties])
                table = np.frombuffer(data, dtype, count, offset)
                offset += count * dtype.itemsize
                vertices = np.stack([table[a].astype(float) for a in "xyz"], axis=1)
                colours = np.stack([table[c] for c in ("red", "green", "blue")], axis=1)
            elif name == "face":
                faces, offset = read_faces(data, offset, count, properties)
        markers = marker_centres(info, vertices, colours)
    except (KeyError, ValueError, TypeError, IndexError) as error:
        raise MeshError(f"not laid out as ardentis-inspect writes it ({error})") from None
    return Inspected(info, vertices, colours, faces, markers)


def region(mesh):
    """(low corner, high corner) of the model carried into the scene, with a margin."""
    bounds = np.array([float(v) for v in mesh.info["model-bounds"].split()]).reshape(3, 2)
    margin = MARGIN * (bounds[:, 1] - bounds[:, 0]).max()
    return bounds[:, 0] - margin, bounds[:, 1] + margin


def in_region(mesh, points):
    low, high = region(mesh)
    return points[((points >= low) & (points <= high)).all(axis=1)]


def scene_vertices(mesh):
    return mesh.vertices[:int(mesh.info["scene-vertices"])]


def region_triangles(mesh):
    """The scene's triangles (n x 3 x 3) whose centre lies in the model's region; polygons are
    fanned into triangles."""
    faces = mesh.faces[:int(mesh.info["scene-faces"])]
    if not isinstance(faces, np.ndarray):
        faces = np.array([(f[0], f[i], f[i + 1]) for f in faces for i in range(1, len(f) - 1)],
                         dtype=np.int64).reshape(-1, 3)
    low, high = region(mesh)
    inside = ((mesh.vertices >= low) & (mesh.vertices <= high)).all(axis=1)
    triangles = mesh.vertices[faces[inside[faces].any(axis=1)]]  # the few near the region
    centres = triangles.mean(axis=1)
    return triangles[((centres >= low) & (centres <= high)).all(axis=1)]


def principal_axes(points):
    """Columns: the principal axes of `points`, the largest spread first (x, y, z for fewer
    than two points)."""
    if len(points) < 2:
        return np.eye(3)
    centred = points - points.mean(axis=0)
    _, vectors = np.linalg.eigh(centred.T @ centred)
    return vectors[:, ::-1]


def orthographic(title, horizontal, towards):
    """The View along -towards (the viewer on the side `towards` points to)."""
    up = np.cross(towards, horizontal)  # right-handed: the picture is not mirrored

    def project(points):
        return points @ horizontal, points @ up, -(points @ towards)
    return View(title, project, lambda points: np.broadcast_to(-towards, points.shape))


def perspective(title, eye, target, horizontal_hint):
    """The View from `eye` towards `target`, its horizontal as near `horizontal_hint` as can be."""
    forward = (target - eye) / max(np.linalg.norm(target - eye), 1e-30)
    horizontal = horizontal_hint - (horizontal_hint @ forward) * forward
    if np.linalg.norm(horizontal) < 1e-9:
        horizontal = np.cross(forward, [0.0, 0.0, 1.0])
    horizontal /= np.linalg.norm(horizontal)
    up = np.cross(horizontal, forward)

    def project(points):
        relative = points - eye
        depth = relative @ forward
        safe = np.where(depth > 0, depth, np.nan)  # behind the eye: not drawn
        return relative @ horizontal / safe, relative @ up / safe, depth

    def sight(points):
        rays = points - eye
        return rays / np.maximum(np.linalg.norm(rays, axis=1, keepdims=True), 1e-30)
    return View(title, project, sight)


def views(mesh, triangles):
    """The panels' Views: from the viewpoint when the mesh names one, else along each of the
    scene's principal axes (the least spread first: a scan seen from the front), each from the
    side that most of the region's surface faces."""
    axes = principal_axes(scene_vertices(mesh))
    if "view" in mesh.info:
        eye = np.array([float(v) for v in mesh.info["view"].split()])
        low, high = region(mesh)
        title = "from the viewpoint (" + ", ".join(f"{v:g}" for v in eye) + ")"
        return [perspective(title, eye, (low + high) / 2, axes[:, 0])]
    normals = np.cross(triangles[:, 1] - triangles[:, 0], triangles[:, 2] - triangles[:, 0])
    made = []
    for k in (2, 1, 0):
        towards = axes[:, k] * (1.0 if (normals @ axes[:, k]).sum() >= 0 else -1.0)
        horizontal = axes[:, 1] if k == 0 else axes[:, 0]
        made.append(orthographic(f"along principal axis {k + 1}", horizontal, towards))
    return made


def projected_surface(triangles, view, colour):
    """(x n x 3, y n x 3, depth n x 3, shaded colours n x 3) of the triangles in front of the
    view; each shaded by how squarely it faces the viewer."""
    x, y, depth = (values.reshape(-1, 3) for values in view.project(triangles.reshape(-1, 3)))
    normals = np.cross(triangles[:, 1] - triangles[:, 0], triangles[:, 2] - triangles[:, 0])
    facing = np.abs((normals * view.sight(triangles.mean(axis=1))).sum(axis=1)) / np.maximum(
        np.linalg.norm(normals, axis=1), 1e-30)
    seen = np.isfinite(x).all(axis=1) & np.isfinite(y).all(axis=1)
    shade = (0.45 + 0.55 * facing[seen])[:, None] * np.array(colour)[None, :]
    return x[seen], y[seen], depth[seen], shade


def panel_limits(mesh, x, y, view):
    """((x0, x1), (y0, y1)): what the panel shows, the region's surface (x, y) and the model's
    keypoints with a small margin."""
    points = [np.stack([x.ravel(), y.ravel()], axis=1)]
    for group in ("repeatable", "non-occluded", "occluded"):
        px, py, _ = view.project(mesh.markers[group][0])
        points.append(np.stack([px, py], axis=1))
    points = np.concatenate(points)
    points = points[np.isfinite(points).all(axis=1)]
    if len(points) == 0:
        return (-1.0, 1.0), (-1.0, 1.0)
    low, high = points.min(axis=0), points.max(axis=0)
    margin = 0.03 * (high - low).max() + 1e-9
    return (low[0] - margin, high[0] + margin), (low[1] - margin, high[1] + margin)


class Raster:
    """The surface of a panel as pixels: at each pixel centre, the nearest triangle (a
    z-buffer) and its depth there. Column c, row r (from the top) is the point
    (x0 + (c + 0.5) / scale, y1 - (r + 0.5) / scale)."""

    def __init__(self, x, y, depth, limits):
        (self.x0, x1), (y0, self.y1) = limits
        self.scale = RASTER_PIXELS / max(x1 - self.x0, self.y1 - y0)
        self.width = max(1, int(np.ceil((x1 - self.x0) * self.scale)))
        self.height = max(1, int(np.ceil((self.y1 - y0) * self.scale)))
        self.front = np.full(self.width * self.height, -1)
        self.depth = np.full(self.width * self.height, np.inf)
        u, v = self.pixel_coordinates(x, y)
        bounds = self.pixel_bounds(u, v)
        counts = (bounds[1] - bounds[0] + 1).clip(0) * (bounds[3] - bounds[2] + 1).clip(0)
        # Triangles a batch at a time, so that the samples of a large mesh fit in memory.
        ends = np.searchsorted(np.cumsum(counts), np.arange(1, 1 + counts.sum() // BATCH) * BATCH)
        for start, end in zip(np.r_[0, ends], np.r_[ends, len(u)]):
            self.keep_nearest(*self.samples(u, v, depth, bounds, start, end))

    def keep_nearest(self, triangle, pixel, depth):
        order = np.lexsort((depth, pixel))  # by pixel, nearest first
        first = order[np.unique(pixel[order], return_index=True)[1]]
        nearer = depth[first] < self.depth[pixel[first]]
        self.front[pixel[first[nearer]]] = triangle[first[nearer]]
        self.depth[pixel[first[nearer]]] = depth[first[nearer]]

    def pixel_coordinates(self, x, y):
        """Columns and rows as real numbers, pixel centres at whole ones."""
        return (x - self.x0) * self.scale - 0.5, (self.y1 - y) * self.scale - 0.5

    def pixel_bounds(self, u, v):
        """(first column, last column, first row, last row) of the pixel centres around each
        triangle (u, v: its corners in pixel coordinates), within the raster."""
        return (np.ceil(u.min(axis=1)).clip(0, self.width).astype(np.int64),
                np.floor(u.max(axis=1)).clip(-1, self.width - 1).astype(np.int64),
                np.ceil(v.min(axis=1)).clip(0, self.height).astype(np.int64),
                np.floor(v.max(axis=1)).clip(-1, self.height - 1).astype(np.int64))

    def samples(self, u, v, depth, bounds, start, end):
        """(triangle, pixel, depth) of every pixel centre inside triangles start to end, depth
        interpolated there."""
        low_u, high_u, low_v, high_v = (b[start:end] for b in bounds)
        columns = (high_u - low_u + 1).clip(0)
        counts = columns * (high_v - low_v + 1).clip(0)
        index = np.repeat(np.arange(end - start), counts)
        triangle = start + index
        within = np.arange(counts.sum()) - np.repeat(np.cumsum(counts) - counts, counts)
        pu = low_u[index] + within % columns[index]
        pv = low_v[index] + within // columns[index]
        (u0, u1, u2), (v0, v1, v2) = u[triangle].T, v[triangle].T
        area = (v1 - v2) * (u0 - u2) + (u2 - u1) * (v0 - v2)
        with np.errstate(divide="ignore", invalid="ignore"):
            a = ((v1 - v2) * (pu - u2) + (u2 - u1) * (pv - v2)) / area
            b = ((v2 - v0) * (pu - u2) + (u0 - u2) * (pv - v2)) / area
        inside = (a >= -1e-9) & (b >= -1e-9) & (a + b <= 1 + 1e-9)
        z = depth[triangle]
        along = a * z[:, 0] + b * z[:, 1] + (1 - a - b) * z[:, 2]
        pixel = pv * self.width + pu
        return triangle[inside], pixel[inside], along[inside]

    def image(self, shade):
        """RGBA rows x columns: each pixel in its front triangle's shade, clear where none."""
        image = np.zeros((self.width * self.height, 4), dtype=np.uint8)
        covered = self.front >= 0
        image[covered, :3] = np.rint(255 * shade[self.front[covered]])
        image[covered, 3] = 255
        return image.reshape(self.height, self.width, 4)

    def extent(self):
        return (self.x0, self.x0 + self.width / self.scale, self.y1 - self.height / self.scale,
                self.y1)

    def behind(self, x, y, depth, tolerance):
        """Whether points (x, y, depth) lie behind the surface by more than `tolerance`."""
        u, v = self.pixel_coordinates(np.nan_to_num(x), np.nan_to_num(y))
        columns = np.rint(u).clip(0, self.width - 1).astype(np.int64)
        rows = np.rint(v).clip(0, self.height - 1).astype(np.int64)
        return depth > self.depth[rows * self.width + columns] + tolerance


def group_colour(mesh, group):
    return mesh.markers[group][1] or (0.5, 0.5, 0.5)


def draw_markers(axis, mesh, view, raster):
    """The keypoints over the surface, a collection per group (empty ones too): every model
    keypoint, and the scene's in the model's region; faint where the surface hides them."""
    tolerance = 2 * float(mesh.info["resolution"])
    for group, _ in GROUPS:
        points = mesh.markers[group][0]
        if group == "scene":
            points = in_region(mesh, points)
        x, y, depth = view.project(points)
        colours = np.tile(to_rgba(group_colour(mesh, group)), (len(points), 1))
        colours[raster.behind(x, y, depth, tolerance), 3] = HIDDEN_ALPHA
        hollow = group in HOLLOW
        axis.scatter(x, y, facecolors="none" if hollow else colours,
                     edgecolors=colours if hollow else "white", label=group, **LOOKS[group])


def draw_panel(axis, mesh, triangles, view):
    """One view: the surface of the model's region (a raster), then the keypoints."""
    colour = tuple(mesh.colours[0] / 255.0) if len(mesh.colours) else (0.75, 0.75, 0.75)
    x, y, depth, shade = projected_surface(triangles, view, colour)
    limits = panel_limits(mesh, x, y, view)
    raster = Raster(x, y, depth, limits)
    if len(x):
        axis.imshow(raster.image(shade), extent=raster.extent(), interpolation="antialiased",
                    zorder=1)
    else:  # a scene of points only
        px, py, _ = view.project(in_region(mesh, scene_vertices(mesh)))
        axis.scatter(px, py, s=0.3, color=colour, linewidths=0, zorder=1)
    draw_markers(axis, mesh, view, raster)
    axis.set_xlim(*limits[0])
    axis.set_ylim(*limits[1])
    axis.set_aspect("equal", adjustable="box")
    axis.set_xticks([])
    axis.set_yticks([])
    axis.grid(False)
    for side in axis.spines.values():
        side.set_visible(False)
    axis.set_title(view.title)


def counts_of(mesh):
    """{group: the run's count}, not only the markers drawn (a keypoint carried to no finite
    position has none)."""
    info = mesh.info
    return {"repeatable": int(info["repeatable"]),
            "non-occluded": int(info["non-occluded"]) - int(info["repeatable"]),
            "occluded": int(info["model-keypoints"]) - int(info["non-occluded"]),
            "scene": int(info["scene-keypoints"])}


def title_of(mesh):
    info = mesh.info
    visible, repeatable = int(info["non-occluded"]), int(info["repeatable"])
    ratio = f" = {repeatable / visible:.2f}" if visible else ""
    return (f"{info['detector']} keypoints of {info['model']} in {info['scene']}; "
            f"noise σ = {info['noise']} mr; threshold {info['threshold']} mr\n"
            f"repeatable / non-occluded: {repeatable} / {visible}{ratio}; "
            f"faint: behind the surface in that view")


def add_legend(figure, mesh, columns):
    """The legend below the panels, each group with its count."""
    counts, labels = counts_of(mesh), dict(GROUPS)
    handles = []
    for group in LEGEND_ORDER:
        colour, hollow = group_colour(mesh, group), group in HOLLOW
        handles.append(Line2D([], [], linestyle="none", marker="o",
                              markersize=2.5 if group == "scene" else 4,
                              markerfacecolor="none" if hollow else colour,
                              markeredgecolor=colour if hollow else "white",
                              markeredgewidth=0.8 if hollow else 0.3))
    figure.legend(handles, [f"{labels[g]}: {counts[g]}" for g in LEGEND_ORDER],
                  loc="upper center", bbox_to_anchor=(0.5, 0.0), ncol=columns, frameon=False)


@figures.styled
def inspection_figure(mesh):
    """The Figure of an Inspected mesh: a panel per view, the legend with the counts below."""
    triangles = region_triangles(mesh)
    chosen = views(mesh, triangles)
    several = len(chosen) > 1
    figure = Figure(figsize=(figures.TWO_COLUMNS if several else figures.ONE_COLUMN,
                             2.4 if several else 3.2), layout="constrained")
    axes = figure.subplots(1, len(chosen), squeeze=False)[0]
    for axis, view in zip(axes, chosen):
        draw_panel(axis, mesh, triangles, view)
    add_legend(figure, mesh, 4 if several else 2)
    figures.set_title(figure, title_of(mesh))
    return figure


def picture_path(mesh_path):
    stem = mesh_path[:-4] if mesh_path.lower().endswith(".ply") else mesh_path
    return stem + ".png"


def main(argv):
    """ardentis-report inspect MESH...: exit status 0, 1 when a mesh could not be drawn (named,
    the others drawn), 2 for a bad command line."""
    parser = argparse.ArgumentParser(
        prog="ardentis-report inspect",
        description="The picture of each ardentis-inspect mesh, written as <mesh>.png beside it.")
    parser.add_argument("meshes", nargs="+", metavar="MESH", help="meshes of ardentis-inspect")
    arguments = parser.parse_args(argv)
    problems = 0
    for path in arguments.meshes:
        try:
            mesh = read_mesh(path)
            target = picture_path(path)
            figures.save(inspection_figure(mesh), os.path.dirname(target) or ".",
                         os.path.basename(target)[:-4], ["png"])
            print(target)
        except MeshError as error:
            warn(f"{path}: {error}")
            problems += 1
        except OSError as error:
            warn(f"{path}: {error.strerror}")
            problems += 1
    return 1 if problems else 0

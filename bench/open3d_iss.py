#!/usr/bin/env python3
"""Open3D's ISS on a point cloud, timed alone (reading excluded), for bench_detect.

Usage: open3d_iss.py POINTS.ply SALIENT_RADIUS NON_MAX_RADIUS GAMMA21 GAMMA32 MIN_NEIGHBORS RUNS
Prints the median wall seconds of the RUNS detections, the processor seconds (all threads) of
that run, and the keypoint count: "<seconds> <cpu seconds> <count>".
"""
import sys
import time

import open3d as o3d

path = sys.argv[1]
salient, non_max, gamma21, gamma32 = (float(v) for v in sys.argv[2:6])
min_neighbors, runs = int(sys.argv[6]), int(sys.argv[7])
cloud = o3d.io.read_point_cloud(path)
times = []
for _ in range(runs):
    start, start_cpu = time.perf_counter(), time.process_time()
    keypoints = o3d.geometry.keypoint.compute_iss_keypoints(
        cloud, salient_radius=salient, non_max_radius=non_max, gamma_21=gamma21,
        gamma_32=gamma32, min_neighbors=min_neighbors)
    times.append((time.perf_counter() - start, time.process_time() - start_cpu))
wall, cpu = sorted(times)[len(times) // 2]
print(wall, cpu, len(keypoints.points))

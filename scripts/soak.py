#!/usr/bin/env python3
"""Soak test: many threads use the API at random for a given time.

Each thread opens cameras of both kinds on a few small virtual devices,
captures, keeps and drops NumPy views at random (and checks that a kept view
still shows what it showed), clones and destroys objects; now and then a
thread shuts the system down and initialises it again, resets the stand-in
or unplugs and replugs a device. At the end it drops every view, shuts down
and reports the calls made, the failures by last-error code, wrong data seen,
the peak memory and the objects left alive. Exits non-zero on wrong data or
on anything left alive.

Run: scripts/soak [--minutes M] [--threads N] [--seed S]
"""
import argparse
import collections
import gc
import json
import os
import random
import resource
import sys
import tempfile
import threading
import time

W, H = 96, 72
SERIALS = [f"SOAK-{i}" for i in range(8)]
CONFIG = {"devices": [{"name": f"Soak {i}", "serial": s, "port": "USB", "resolution": [W, H],
                       "capabilities": {"color": i % 2 == 1}}
                      for i, s in enumerate(SERIALS)]}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--minutes", type=float, default=10.0)
    parser.add_argument("--threads", type=int, default=8)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()

    # reset() reloads the configured devices: make them the small ones.
    config = tempfile.NamedTemporaryFile("w", suffix=".json", delete=False)
    json.dump(CONFIG, config)
    config.close()
    os.environ["VYX_SIM_CONFIG"] = config.name
    import numpy as np
    import PyVyx as vx
    import vyxsim

    vyxsim.reset()
    assert vx.SystemInit()

    calls = collections.Counter()
    failures = collections.Counter()
    wrong = []
    peak = {"retained": 0, "storage_bytes": 0}
    lock = threading.Lock()
    deadline = time.monotonic() + args.minutes * 60

    def count(op, ok):
        with lock:
            calls[op] += 1
            if not ok:
                failures[(op, vx.GetLastError())] += 1

    def worker(index):
        rng = random.Random(args.seed * 1000 + index)
        cameras, objects, views = [], [], []
        while time.monotonic() < deadline:
            action = rng.random()
            try:
                if action < 0.10 or not cameras:
                    device = vx.SystemFindDevice(rng.choice(SERIALS))
                    count("SystemFindDevice", device.IsValid())
                    if not device.IsValid():
                        continue
                    kind = rng.choice(["X1", "X2"])
                    cam = (vx.X1.Create(device, rng.choice([vx.CameraID_Left, vx.CameraID_Right]))
                           if kind == "X1" else vx.X2.Create(device))
                    count(f"{kind}.Create", cam.IsValid())
                    if cam.IsValid():
                        opened = cam.Open()  # busy when another thread has the device
                        count(f"{kind}.Open", opened)
                        if opened:
                            cameras.append((kind, cam))
                        else:
                            (vx.X1 if kind == "X1" else vx.X2).Destroy(cam)
                elif action < 0.45:
                    kind, cam = rng.choice(cameras)
                    opts = vx.X1_CaptureOptions() if kind == "X1" else vx.X2_CaptureOptions()
                    opts.calc_normal = rng.random() < 0.5
                    ok = cam.Capture(opts)
                    count(f"{kind}.Capture", ok)
                    if ok and rng.random() < 0.7:
                        getter = rng.choice([lambda c: c.GetPointMap(), lambda c: c.GetDepthMap(),
                                             lambda c: c.GetConfidenceMap(),
                                             lambda c: c.GetPointMap().GetNormalDataPtr()])
                        array = np.asarray(getter(cam))
                        if array.ndim:
                            views.append((array, array.copy()))
                elif action < 0.55 and views:
                    views.pop(rng.randrange(len(views)))
                elif action < 0.62:
                    kind, cam = rng.choice(cameras)
                    clone = cam.GetPointMap().Clone()
                    count("PointMap.Clone", clone.IsValid())
                    if clone.IsValid():
                        objects.append(clone)
                        array = np.asarray(clone)
                        views.append((array, array.copy()))
                elif action < 0.68 and objects:
                    vx.PointMap.Destroy(objects.pop(rng.randrange(len(objects))))
                    count("PointMap.Destroy", True)
                elif action < 0.73:
                    kind, cam = cameras.pop(rng.randrange(len(cameras)))
                    cam.Close()
                    (vx.X1 if kind == "X1" else vx.X2).Destroy(cam)
                    count(f"{kind}.Destroy", True)
                elif action < 0.7305:
                    vx.SystemShutdown()
                    count("SystemShutdown", True)
                    count("SystemInit", vx.SystemInit())
                elif action < 0.7307:
                    vyxsim.reset()
                    count("vyxsim.reset", True)
                    count("SystemInit", vx.SystemInit())
                elif action < 0.734:
                    serial = rng.choice(SERIALS)
                    count("vyxsim.unplug", vyxsim.unplug(serial))
                    time.sleep(rng.random() * 0.01)
                    count("vyxsim.replug", vyxsim.replug(serial))
                elif views:
                    array, seen = rng.choice(views)
                    if not np.array_equal(array, seen, equal_nan=True):
                        with lock:
                            wrong.append(f"thread {index}: a view changed")
                    calls["view check"] += 1
                with lock:
                    peak["retained"] = max(peak["retained"], vyxsim.retained_objects())
                    peak["storage_bytes"] = max(peak["storage_bytes"], vyxsim.storage_bytes())
                if len(views) > 40:
                    del views[: len(views) - 40]
            except Exception as error:  # any exception from the binding is a fault
                with lock:
                    wrong.append(f"thread {index}: {type(error).__name__}: {error}")

    threads = [threading.Thread(target=worker, args=(i,)) for i in range(args.threads)]
    started = time.monotonic()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    elapsed = time.monotonic() - started

    vx.SystemShutdown()
    gc.collect()
    left = {"live": vyxsim.live_objects(), "retained": vyxsim.retained_objects(),
            "storage_bytes": vyxsim.storage_bytes()}
    os.unlink(config.name)

    print(f"soak: {args.threads} threads for {elapsed / 60:.1f} min, seed {args.seed}")
    print(f"calls made: {sum(calls.values())}")
    for op, n in sorted(calls.items()):
        print(f"  {op:<20} {n}")
    print("failures by operation and last-error code:")
    for (op, code), n in sorted(failures.items()):
        print(f"  {op:<20} code {code:<4} {n}")
    print(f"peak: resident {resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024:.0f} MiB, "
          f"retained objects {peak['retained']}, storage {peak['storage_bytes'] / 2**20:.1f} MiB")
    print(f"left after shut-down with views dropped: live {left['live']}, "
          f"retained {left['retained']}, storage bytes {left['storage_bytes']}")
    print(f"wrong data or exceptions: {len(wrong)}")
    for line in wrong[:20]:
        print(f"  {line}")
    return 1 if wrong or any(left.values()) else 0


if __name__ == "__main__":
    sys.exit(main())

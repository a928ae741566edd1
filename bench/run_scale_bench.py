#!/usr/bin/python3
"""Many workbooks, side by side: this build against a baseline build.

usage: bench/run_scale_bench.py NEW_BIN_DIR BASELINE_BIN_DIR DATA_DIR [--quick]

Writes the workbooks into DATA_DIR once (later runs reuse them): a few
templates made with python3-openpyxl, then copies of them:

  many/      2,000 small workbooks (50 x 6) with a medium one (20,000 x 6)
             after every hundredth: the many-workbook mix
  small/     300 small workbooks: the window's run
  scale/dNN/ 10,000 workbooks in 100 folders, about 1 GB: per hundred one
             medium, 80 of 2,000 rows and 19 small

and prints, for each build (the baseline's figure first):
  - scale: time per GB and peak memory of dialsift-cli (default jobs) over the
    first 1,000 workbooks of scale/ and over all 10,000;
  - many: -j 1 and -j 2 over many/, their ratio, and whether the output is
    byte for byte the same for -j 1, 2 and 3;
  - window: the window's run over small/ (the measurement in test_ui) against
    dialsift-cli with the same number of worker threads.
Times are wall-clock, best of a few runs, with the user+sys CPU time beside
them; a quiet machine gives the figures that count. Each build's test_ui
(in BIN_DIR) measures the window. --quick repeats less (for a first look).
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

LENGTHS = ["-l", "7,10,11"]


# ---- The workbooks ----

def make_data(data, sets=("many", "small", "scale")):
    templates = os.path.join(data, "templates")
    os.makedirs(templates, exist_ok=True)
    kinds = {"small": (50, 4), "mid": (2_000, 3), "medium": (20_000, 2)}
    if "scale" not in sets:
        del kinds["mid"]
    made = {}
    for kind, (rows, count) in kinds.items():
        made[kind] = []
        for k in range(count):
            path = os.path.join(templates, f"{kind}{k}.xlsx")
            if not os.path.exists(path):
                from make_bench_workbooks import write  # needs python3-openpyxl
                write(path + ".part", rows, 6, 7000 + 100 * rows + k)
                os.replace(path + ".part", path)
            made[kind].append(path)

    def fill(folder, names_and_kinds):
        marker = folder + ".complete"
        if os.path.exists(marker):
            return
        os.makedirs(folder, exist_ok=True)
        for i, (name, kind) in enumerate(names_and_kinds):
            target = os.path.join(folder, name)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copyfile(made[kind][i % len(made[kind])], target)
        open(marker, "w").close()

    many = []
    for i in range(2_000):
        many.append((f"{len(many):04d}.xlsx", "small"))
        if i % 100 == 99:
            many.append((f"{len(many):04d}.xlsx", "medium"))
    if "many" in sets:
        fill(os.path.join(data, "many"), many)
    if "small" in sets:
        fill(os.path.join(data, "small"), [(f"{i:03d}.xlsx", "small") for i in range(300)])
    if "scale" not in sets:
        return
    scale = []
    for i in range(10_000):
        k = i % 100
        kind = "medium" if k == 50 else "small" if k % 5 == 0 else "mid"
        scale.append((f"d{i // 100:02d}/{i:05d}.xlsx", kind))
    fill(os.path.join(data, "scale"), scale)


def files_in(folder):
    return sorted(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith(".xlsx"))


def size_of(paths):
    return sum(os.path.getsize(p) for p in paths)


# ---- Running ----

def run(cmd, env=None, capture=False):
    """Wall time, user+sys time and peak memory (MB) of one run of cmd."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE if capture else subprocess.DEVNULL,
                            stderr=subprocess.PIPE, env=env)
    out = proc.stdout.read() if capture else b""
    err = proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit(f"{' '.join(cmd[:6])} ... failed ({proc.returncode}): {err.decode()[:500]}")
    return {"wall": wall, "cpu": usage.ru_utime + usage.ru_stime,
            "peak": usage.ru_maxrss / 1024, "out": out, "err": err}


def best(runs):
    return {"wall": min(r["wall"] for r in runs), "cpu": min(r["cpu"] for r in runs),
            "peak": max(r["peak"] for r in runs)}


def alternate(cmds, repeat):
    """Runs each command `repeat` times, taking turns; the best of each."""
    results = [[] for _ in cmds]
    for _ in range(repeat):
        for i, cmd in enumerate(cmds):
            results[i].append(run(cmd))
    return [best(r) for r in results]


def window_run(bindir, folder, jobs):
    """The window's run over `folder`, from test_ui's measurement: ms."""
    test_ui = os.path.join(bindir, "test_ui")
    if not os.path.exists(test_ui):
        return None
    env = dict(os.environ, DIALSIFT_WINDOW_BENCH=folder, QT_QPA_PLATFORM="offscreen")
    if jobs:
        env["DIALSIFT_WINDOW_JOBS"] = str(jobs)
    r = run([test_ui, "--gtest_filter=WindowTest.MeasureTheRunOverAFolder"], env=env,
            capture=True)
    m = re.search(rb"window run: \d+ workbooks, (\d+) numbers, (\d+) ms, longest gap (\d+) ms",
                  r["out"])
    if not m:
        sys.exit(f"no measurement from {test_ui}: {r['out'][-500:]!r}")
    return {"wall": int(m.group(2)) / 1000, "numbers": int(m.group(1)), "gap": int(m.group(3))}


def has_jobs_setting(bindir):
    """True when the build's window takes DIALSIFT_WINDOW_JOBS (read-ahead workers)."""
    test_ui = os.path.join(bindir, "test_ui")
    try:
        with open(test_ui, "rb") as f:
            return b"DIALSIFT_WINDOW_JOBS" in f.read()
    except OSError:
        return False


# ---- Report ----

def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    quick = "--quick" in sys.argv
    if len(args) != 3:
        sys.exit(__doc__)
    new_bin, base_bin, data = (os.path.abspath(a) for a in args)
    builds = [("baseline", base_bin), ("new", new_bin)]
    start = time.perf_counter()
    make_data(data)
    print(f"data ready in {time.perf_counter() - start:.0f} s ({data})")
    repeat = 1 if quick else 3

    # Scale: the first 1,000 workbooks and all 10,000, default jobs.
    scale = os.path.join(data, "scale")
    folders = sorted(os.path.join(scale, d) for d in os.listdir(scale) if d.startswith("d"))
    print("\nscale (default jobs; time per GB of workbook files, peak memory)")
    for count, chosen in ((1_000, folders[:10]), (10_000, folders)):
        paths = [p for f in chosen for p in files_in(f)]
        gb = size_of(paths) / 1e9
        cmds = [[os.path.join(b, "dialsift-cli"), "-q"] + LENGTHS + chosen for _, b in builds]
        results = alternate(cmds, repeat if count == 1_000 else max(1, repeat - 1))
        for (name, _), r in zip(builds, results):
            print(f"  {count:6,} workbooks {gb:5.2f} GB  {name:8}  {r['wall'] / gb:6.2f} s/GB "
                  f"(cpu {r['cpu'] / gb:6.2f} s/GB)  peak {r['peak']:6.1f} MB")

    # Many workbooks: -j 1 against -j 2.
    many = files_in(os.path.join(data, "many"))
    print(f"\nmany: {len(many)} workbooks ({size_of(many) / 1e6:.0f} MB)")
    for name, b in builds:
        cli = os.path.join(b, "dialsift-cli")
        one, two = alternate([[cli, "-q", "-j", j] + LENGTHS + many for j in ("1", "2")],
                             repeat + 2)
        print(f"  {name:8}  -j 1 {one['wall']:6.3f} s (cpu {one['cpu']:6.3f})  "
              f"-j 2 {two['wall']:6.3f} s (cpu {two['cpu']:6.3f})  "
              f"speed-up {one['wall'] / two['wall']:4.2f}x (target >= 1.85x)")
    cli = os.path.join(new_bin, "dialsift-cli")
    outputs = {j: hashlib.sha256(run([cli, "-q", "-j", j] + LENGTHS + many, capture=True)["out"])
               .hexdigest() for j in ("1", "2", "3")}
    same = len(set(outputs.values())) == 1
    print(f"  new: output of -j 1, 2, 3 {'identical' if same else 'DIFFERS'}")

    # The window against the CLI with as many worker threads.
    small = os.path.join(data, "small")
    small_files = files_in(small)
    print(f"\nwindow: {len(small_files)} small workbooks")
    for name, b in builds:
        cli = os.path.join(b, "dialsift-cli")
        # A window without read-ahead reads on its own thread: compare with -j 1.
        jobs_list = ("1", "2") if has_jobs_setting(b) else ("1",)
        for jobs in jobs_list:
            clis, windows = [], []
            for _ in range(repeat + 2):
                # The window starts with 10 and 11 ticked.
                clis.append(run([cli, "-q", "-j", jobs, "-l", "10,11"] + small_files))
                w = window_run(b, small, jobs if len(jobs_list) > 1 else None)
                if w is None:
                    break
                windows.append(w)
            if not windows:
                print(f"  {name:8}  no test_ui beside {b}")
                break
            c = best(clis)["wall"]
            w = min(x["wall"] for x in windows)
            gap = max(x["gap"] for x in windows)
            label = f"{jobs} worker{'s' if jobs != '1' else ''}" if len(jobs_list) > 1 \
                else "own thread"
            print(f"  {name:8}  window ({label}) {w:6.3f} s  cli -j {jobs} {c:6.3f} s  "
                  f"ratio {w / c:4.2f}x (target <= 1.1x)  longest gap {gap} ms")
    print(f"\ntotal {time.perf_counter() - start:.0f} s")


if __name__ == "__main__":
    main()

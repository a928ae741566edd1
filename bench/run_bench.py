#!/usr/bin/python3
"""Times dialsift-cli on the benchmark workbooks against the floor.

usage: bench/run_bench.py BUILD_BIN_DIR [DATA_DIR] [--baseline BASELINE_BIN_DIR]
                          [--median] [--rounds N]

The big workbook (200,000 rows x 5) as .xlsx, .xlsb and .ods: for each, the
wall time, the ratio to the floor's speed (the time `unzip -p` takes to
inflate the same sheets, measured in the same run) and the peak memory of
`dialsift-cli -j 1` and of `dialsift-cli` with the default jobs. Given a
baseline build, its figures stand beside the current ones, every program
timed in turn in each round, so that both see the same load. Then, for the
current build alone: what carrying each number's record costs against the
run before records (bench/record_bench.cpp); the time of
`--e164 US --format jsonl` next to plain lines; and for the 300 small
workbooks the time with -j 1 and with -j 2 and their ratio. Each figure is
the best of a few runs. Last, the many-workbook mix (2,000 small workbooks
and 20 medium ones, as bench/run_scale_bench.py writes them): -j 1 and -j 2
of every build, taking turns, and the ratio of the two.

--median reports the median of the rounds instead of the best (steadier on
a machine that others load); --rounds sets how many (default 5).
"""
import glob
import os
import resource
import subprocess
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))


def run(cmd, repeat=3):
    best = None
    peak = 0
    for _ in range(repeat):
        before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        start = time.perf_counter()
        proc = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        elapsed = time.perf_counter() - start
        if proc.returncode not in (0,):
            sys.exit(f"{' '.join(cmd)} failed: {proc.stderr.decode()[:500]}")
        peak = max(peak, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss, before)
        best = elapsed if best is None else min(best, elapsed)
    return best, peak


def timed(cmd):
    """Wall time and peak resident memory (KB) of one run of `cmd`."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    err = proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit(f"{' '.join(cmd)} failed: {err.decode()[:500]}")
    return elapsed, usage.ru_maxrss


MEDIAN = False
ROUNDS = 5


def pick(times):
    """The figure of a few runs: the best, or with --median the median."""
    times = sorted(times)
    if not MEDIAN:
        return times[0]
    mid = len(times) // 2
    return times[mid] if len(times) % 2 else (times[mid - 1] + times[mid]) / 2


def interleaved(commands, rounds):
    """Runs every command once per round, in turn; time and peak memory of each."""
    times = {name: [] for name in commands}
    peaks = {name: 0 for name in commands}
    for _ in range(rounds):
        for name, cmd in commands.items():
            elapsed, peak = timed(cmd)
            times[name].append(elapsed)
            peaks[name] = max(peaks[name], peak)
    return {name: (pick(times[name]), peaks[name]) for name in commands}


def many_workbooks(data, builds, rounds):
    """-j 1 and -j 2 over the many-workbook mix, one column per build."""
    sys.path.insert(0, HERE)
    from run_scale_bench import make_data  # pylint: disable=import-outside-toplevel
    make_data(data, sets=("many",))
    folder = os.path.join(data, "many")
    many = sorted(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith(".xlsx"))
    commands = {}
    for build, bindir in builds.items():
        cli = os.path.join(bindir, "dialsift-cli")
        for jobs in ("1", "2"):
            commands[(build, jobs)] = [cli, "-q", "-j", jobs, "-l", "7,10,11"] + many
    best = interleaved(commands, rounds)
    print(f"{len(many)} workbooks, 2,000 small and 20 medium (load average "
          f"{os.getloadavg()[0]:.2f} at the end):")
    for build in builds:
        one, two = best[(build, "1")][0], best[(build, "2")][0]
        print(f"  {build:10} -j 1 {one:7.3f} s   -j 2 {two:7.3f} s   speed-up {one / two:4.2f}x")


def big_workbooks(data, builds, rounds=5):
    """The table of the big workbook in its three formats, one column per build."""
    lengths = ["-l", "7,10,11"]
    files = [("big.xlsx", "xl/worksheets/"), ("bench.xlsb", "xl/worksheets/"),
             ("bench.ods", "content.xml")]
    load = os.getloadavg()[0]
    print(f"big workbook, 200,000 x 5 (load average {load:.2f} at the start)")
    header = "".join(f"{name:>30}" for name in builds)
    print(f"  {'':24}{header}")
    print(f"  {'':24}" + "".join(f"{'time   x floor  peak':>30}" for _ in builds))
    for name, prefix in files:
        path = os.path.join(data, name)
        with zipfile.ZipFile(path) as z:
            parts = [i for i in z.infolist() if i.filename.startswith(prefix)]
            mb = sum(i.file_size for i in parts) / 1e6
        commands = {"floor": ["unzip", "-p", path] + [i.filename for i in parts]}
        for build, bindir in builds.items():
            cli = os.path.join(bindir, "dialsift-cli")
            commands[(build, "-j 1")] = [cli, "-q", "-j", "1"] + lengths + [path]
            commands[(build, "default jobs")] = [cli, "-q"] + lengths + [path]
        best = interleaved(commands, rounds)
        floor = best["floor"][0]
        print(f"  {name} ({mb:.1f} MB inflated): unzip -p {floor:.3f} s")
        for jobs in ("-j 1", "default jobs"):
            cells = ""
            for build in builds:
                t, peak = best[(build, jobs)]
                cells += f"{t:9.3f} s {floor / t:6.2f}x {peak / 1024:6.1f} MB"
            print(f"    {jobs:22}{cells}")
    print(f"  (x floor: the floor's time over ours, >= 1.0 is at least as fast as unzip -p;"
          f" load average {os.getloadavg()[0]:.2f} at the end)")


def main():
    global MEDIAN, ROUNDS  # pylint: disable=global-statement
    args = sys.argv[1:]
    if "--median" in args:
        MEDIAN = True
        args.remove("--median")
    if "--rounds" in args:
        at = args.index("--rounds")
        ROUNDS = int(args[at + 1])
        del args[at:at + 2]
    baseline = None
    if "--baseline" in args:
        at = args.index("--baseline")
        if at + 1 >= len(args):
            sys.exit(__doc__)
        baseline = args[at + 1]
        del args[at:at + 2]
    if not args:
        sys.exit(__doc__)
    bindir = args[0]
    data = args[1] if len(args) > 1 else os.path.join(bindir, "..", "bench-data")
    subprocess.run(["/usr/bin/python3", os.path.join(HERE, "make_bench_workbooks.py"), data],
                   check=True)
    if not all(os.path.exists(os.path.join(data, f)) for f in ("bench.xlsb", "bench.ods")):
        subprocess.run(["/usr/bin/python3",
                        os.path.join(HERE, "..", "tests", "data", "text", "make_benchmark.py"),
                        data], check=True)
    cli = os.path.join(bindir, "dialsift-cli")
    big = os.path.join(data, "big.xlsx")

    builds = {"current": bindir}
    if baseline:
        builds = {"baseline": baseline, "current": bindir}
    big_workbooks(data, builds, ROUNDS)

    # What carrying the record costs, side by side in one process.
    record_bench = os.path.join(bindir, "record_bench")
    if os.path.exists(record_bench):
        subprocess.run([record_bench, big], check=True)
    # Normalising and the machine-readable format next to plain lines.
    lines, _ = run([cli, "-q", "-j", "1", "-l", "7,10,11", big])
    jsonl, _ = run([cli, "-q", "-j", "1", "-l", "7,10,11", "--e164", "US", "--format", "jsonl",
                    big])
    print(f"  --format lines      {lines:7.3f} s")
    print(f"  --e164 US --format jsonl {jsonl:7.3f} s  ({jsonl / lines:4.2f}x)")

    small = sorted(glob.glob(os.path.join(data, "small", "*.xlsx")))
    # Short runs: more repeats keep the best time steady.
    one, _ = run([cli, "-q", "-j", "1", "-l", "7,10,11"] + small, repeat=15)
    two, _ = run([cli, "-q", "-j", "2", "-l", "7,10,11"] + small, repeat=15)
    print(f"{len(small)} small workbooks:")
    print(f"  -j 1 {one:7.3f} s   -j 2 {two:7.3f} s   speed-up {one / two:4.2f}x (target >= 1.7x)")
    many_workbooks(data, builds, ROUNDS)


if __name__ == "__main__":
    main()

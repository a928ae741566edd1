#!/usr/bin/python3
"""What reading numbers written with spaces costs: --spaced against the word rule.

usage: bench/spaced_bench.py BUILD_BIN_DIR DATA_DIR [ROUNDS]

Writes, once, the big benchmark workbook (make_bench_workbooks.py: 200,000 rows)
and the many-workbook mix of run_scale_bench.py (2,000 small workbooks with a
medium one after every hundredth, the same templates and seeds) into DATA_DIR,
then times dialsift-cli -l 7,10,11 with and without --spaced, each in turn in
every round so that both see the same load: the big workbook with -j 1 and
with the default jobs, the mix with -j 2. Prints the best wall time and the
best CPU time (user + system, which a loaded machine disturbs less) of each,
and the ratios --spaced / word rule.
Release builds; a quiet machine gives the figures that count.
"""
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

LENGTHS = ["-l", "7,10,11"]


def make_data(data):
    from make_bench_workbooks import write  # needs python3-openpyxl
    import run_scale_bench
    os.makedirs(data, exist_ok=True)
    big = os.path.join(data, "big.xlsx")
    if not os.path.exists(big):
        write(big, 200_000, 5, 1)
    run_scale_bench.make_data(data, sets=("many",))
    return big, os.path.join(data, "many")


def timed(cmd):
    """Wall time and CPU time (user + system) of one run of `cmd`."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    err = proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{' '.join(cmd)} failed: {err.decode()[:500]}")
    return time.perf_counter() - start, usage.ru_utime + usage.ru_stime


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    cli = os.path.join(sys.argv[1], "dialsift-cli")
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    big, many = make_data(sys.argv[2])
    workloads = {
        "big workbook, -j 1": ["-j", "1", big],
        "big workbook, default jobs": [big],
        "many workbooks (2,020), -j 2": ["-j", "2", many],
    }
    print(f"load average {os.getloadavg()[0]:.2f} at the start; best of {rounds} rounds")
    for name, args in workloads.items():
        wall = {"word rule": None, "--spaced": None}
        cpu = dict(wall)
        for _ in range(rounds):
            for rule, extra in (("word rule", []), ("--spaced", ["--spaced"])):
                w, c = timed([cli, "-q"] + LENGTHS + extra + args)
                wall[rule] = w if wall[rule] is None else min(wall[rule], w)
                cpu[rule] = c if cpu[rule] is None else min(cpu[rule], c)
        print(f"  {name:30} wall: word rule {wall['word rule']:7.3f} s, --spaced "
              f"{wall['--spaced']:7.3f} s, ratio {wall['--spaced'] / wall['word rule']:5.3f};"
              f"  CPU: {cpu['word rule']:7.3f} s, {cpu['--spaced']:7.3f} s, ratio "
              f"{cpu['--spaced'] / cpu['word rule']:5.3f}")
    print(f"load average {os.getloadavg()[0]:.2f} at the end")


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Times dialsift-cli on the benchmark workbooks against the floor.

usage: bench/run_bench.py BUILD_BIN_DIR [DATA_DIR]

Prints, for the big workbook: wall time, MB/s of uncompressed sheet XML and
peak memory of `dialsift-cli -j 1`, next to the time `unzip -p` takes to
inflate the same sheets (the floor); what carrying each number's record costs
against the run before records (bench/record_bench.cpp); the time of
`--e164 US --format jsonl` next to plain lines; and for the 300 small workbooks the time
with -j 1 and with -j 2 and their ratio. Each figure is the best of a few runs.
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


def peak_rss_kb(cmd):
    """Peak resident memory of one run, from GNU time when present."""
    if not os.path.exists("/usr/bin/time"):
        return None
    proc = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE)
    try:
        return int(proc.stderr.decode().strip().splitlines()[-1])
    except (ValueError, IndexError):
        return None


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    bindir = sys.argv[1]
    data = sys.argv[2] if len(sys.argv) > 2 else os.path.join(bindir, "..", "bench-data")
    subprocess.run(["/usr/bin/python3", os.path.join(HERE, "make_bench_workbooks.py"), data],
                   check=True)
    cli = os.path.join(bindir, "dialsift-cli")
    big = os.path.join(data, "big.xlsx")
    with zipfile.ZipFile(big) as z:
        sheets = [i for i in z.infolist() if i.filename.startswith("xl/worksheets/")]
        xml_mb = sum(i.file_size for i in sheets) / 1e6

    floor, _ = run(["unzip", "-p", big] + [i.filename for i in sheets])
    ours, _ = run([cli, "-q", "-j", "1", "-l", "7,10,11", big])
    peak = peak_rss_kb([cli, "-q", "-j", "1", "-l", "7,10,11", big])
    print(f"big.xlsx: {xml_mb:.1f} MB of sheet XML")
    print(f"  unzip -p (floor)   {floor:7.3f} s  {xml_mb / floor:7.1f} MB/s")
    print(f"  dialsift-cli -j 1  {ours:7.3f} s  {xml_mb / ours:7.1f} MB/s"
          f"  = {floor / ours * 100:5.1f}% of the floor's speed (target >= 40%)")
    if peak:
        print(f"  peak memory        {peak / 1024:7.1f} MB (target < 64 MB)")

    # What carrying the record costs, side by side in one process.
    subprocess.run([os.path.join(bindir, "record_bench"), big], check=True)
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


if __name__ == "__main__":
    main()

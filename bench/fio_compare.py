#!/usr/bin/env python3
"""Kestrune's throughput engine against fio on one block device.

Both tools run the same workloads on the same target, interleaved A-B-B-A, and the script prints per
workload the median of the paired ratios (Kestrune / fio): 4 KiB random read QD32 IOPS, CPU
microseconds per I/O (each process's own rusage), 4 KiB random read QD1 mean latency (as a difference
in microseconds), 128 KiB sequential read MB/s and 4 KiB random write QD32 IOPS; and how far
Kestrune's 17 latency buckets lie from fio's json+ latency histogram put into the same bounds (total
variation distance, 0 = the same shares, 1 = nothing in common).

fio runs with --ioengine=io_uring --direct=1 --numjobs=W --iodepth=<slots per worker> --group_reporting
--lat_percentiles=1 --output-format=json+, so that its histogram is issue-to-completion latency like
Kestrune's.
"""
import argparse
import glob
import json
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BOUNDS_US = [50, 100, 200, 500, 1000, 2000, 5000, 10000, 15000, 20000, 30000, 50000, 100000, 200000, 500000,
             1000000]


def slots(qd, processors):
    """The engine's split: workers and slots per worker (worker 0 has the most)."""
    workers = processors if qd >= processors else qd
    return workers, -(-qd // workers)


def run_measured(cmd, env=None):
    """Runs cmd; returns (stdout, CPU seconds of that child alone)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    out = subprocess.run(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, check=False)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    if out.returncode != 0:
        sys.exit(f"{cmd[0]} failed ({out.returncode}):\n{out.stdout[-2000:]}\n{out.stderr[-2000:]}")
    return out.stdout, cpu


def kestrune(program, device, work, statement):
    """One job of Kestrune; its figures from the job's JSON record."""
    script = os.path.join(work, "bench.scpt")
    with open(script, "w", newline="") as f:
        f.write(statement + "\r\n")
    tmp = tempfile.mkdtemp(dir=work)
    env = dict(os.environ, TMPDIR=tmp)
    _, cpu = run_measured([program, f"SCRIPT:{script}", device], env)
    records = glob.glob(os.path.join(tmp, "KestruneLite", "*", "R*.json"))
    if len(records) != 1:
        sys.exit(f"kestrune left {len(records)} job records in {tmp}")
    with open(records[0]) as f:
        r = json.load(f)
    shutil.rmtree(tmp, ignore_errors=True)
    ms = sum(c["transferMs"] for c in r["cycles"])
    size = r["parameters"]["accessSize"]
    moved = sum(c["readBytes"] + c["writeBytes"] for c in r["cycles"])
    ios = r["latencyUs"]["read"]["count"] + r["latencyUs"]["write"]["count"]
    lat = r["latencyUs"]["write" if r["parameters"]["writeRatio"] else "read"]
    total = sum(b["count"] for b in r["buckets"]) or 1
    return {"iops": moved / size * 1000 / ms if ms else 0, "mbps": moved / 2**20 * 1000 / ms if ms else 0,
            "cpu_us_per_io": cpu * 1e6 / ios if ios else 0, "mean_us": lat["mean"],
            "shares": [b["count"] / total for b in r["buckets"]]}


def fio(device, name, rw, bs, qd, processors, seconds):
    workers, depth = slots(qd, processors)
    cmd = ["fio", f"--name={name}", f"--filename={device}", f"--rw={rw}", f"--bs={bs}", "--ioengine=io_uring",
           "--direct=1", f"--numjobs={workers}", f"--iodepth={depth}", "--group_reporting", "--lat_percentiles=1",
           "--output-format=json+", "--time_based", f"--runtime={seconds}", "--norandommap", "--randrepeat=0"]
    out, cpu = run_measured(cmd)
    job = json.loads(out[out.index("{"):])["jobs"][0]
    side = job["write" if "write" in rw else "read"]
    ios = side["total_ios"]
    bins = side.get("lat_ns", {}).get("bins") or side.get("clat_ns", {}).get("bins") or {}
    counts = [0] * (len(BOUNDS_US) + 1)
    for ns, n in bins.items():
        us = int(ns) / 1000
        counts[next((i for i, b in enumerate(BOUNDS_US) if b > us), len(BOUNDS_US))] += n
    total = sum(counts) or 1
    return {"iops": side["iops"], "mbps": side["bw"] / 1024, "cpu_us_per_io": cpu * 1e6 / ios if ios else 0,
            "mean_us": side["lat_ns"]["mean"] / 1000, "shares": [c / total for c in counts]}


def workloads(seconds, writes):
    w = [
        ("4K random read QD32", "iops", "Performance_RandRead( LBA:0, RangeLenMB:0, AccessKB:4, QD:32, "
         f"LimitTxSizeMB:0, LimitTimeSec:{seconds} );", ("randread", "4k", 32)),
        ("4K random read QD1", "mean_us", "Performance_RandRead( LBA:0, RangeLenMB:0, AccessKB:4, QD:1, "
         f"LimitTxSizeMB:0, LimitTimeSec:{seconds} );", ("randread", "4k", 1)),
        ("128K sequential read QD32", "mbps", "Performance_SeqRead( LBA:0, RangeLenMB:0, AccessKB:128, QD:32, "
         f"LimitCycle:0, LimitTimeSec:{seconds} );", ("read", "128k", 32)),
    ]
    if writes:
        w.append(("4K random write QD32", "iops", "Performance_RandWrite( LBA:0, RangeLenMB:0, AccessKB:4, QD:32, "
                  f"WritePattern:0, LimitTxSizeMB:0, LimitTimeSec:{seconds} );", ("randwrite", "4k", 32)))
    return w


def loop_device(work, gib):
    """A loop device with direct I/O over a fully written file."""
    image = os.path.join(work, "bench.img")
    subprocess.run(["dd", "if=/dev/zero", f"of={image}", "bs=1M", f"count={gib * 1024}", "oflag=direct",
                    "status=none"], check=True)
    dev = subprocess.run(["losetup", "--direct-io=on", "--show", "-f", image], stdout=subprocess.PIPE, text=True,
                         check=True).stdout.strip()
    return dev, image


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--program", default="build/release/src/kestrune")
    p.add_argument("--device", help="a block device to read (read-only unless --writes); default: a loop device")
    p.add_argument("--writes", action="store_true", help="also the random write workload on --device")
    p.add_argument("--pairs", type=int, default=8)
    p.add_argument("--seconds", type=int, default=3)
    p.add_argument("--gib", type=int, default=2)
    a = p.parse_args()
    if a.pairs < 8:
        sys.exit("at least 8 pairs")
    work = tempfile.mkdtemp(prefix="kestrune_fio_")
    dev, image = a.device, None
    try:
        if dev is None:
            if os.geteuid() != 0:
                print("SKIP: the default target is a loop device, which needs root")
                return 0
            dev, image = loop_device(work, a.gib)
            writes = True
        else:
            writes = a.writes
        processors = os.cpu_count() or 1
        print(f"target {dev}, {processors} processors, {a.pairs} pairs of {a.seconds} s runs, A-B-B-A")
        print(f"{'workload':28} {'figure':14} {'median ratio':>12} {'target':>10} {'buckets TVD':>12}")
        for title, figure, statement, (rw, bs, qd) in workloads(a.seconds, writes):
            ratios, cpu, distances = [], [], []
            for pair in range(a.pairs):
                order = ["k", "f"] if pair % 2 == 0 else ["f", "k"]
                got = {}
                for tool in order:
                    got[tool] = (kestrune(a.program, dev, work, statement) if tool == "k"
                                 else fio(dev, "bench", rw, bs, qd, processors, a.seconds))
                k, f = got["k"], got["f"]
                ratios.append(k[figure] - f[figure] if figure == "mean_us" else k[figure] / f[figure])
                cpu.append(k["cpu_us_per_io"] / f["cpu_us_per_io"] if f["cpu_us_per_io"] else 0)
                distances.append(sum(abs(x - y) for x, y in zip(k["shares"], f["shares"])) / 2)
            wanted = "<= +2 us" if figure == "mean_us" else ">= 1.0"
            unit = "+us" if figure == "mean_us" else "x"
            print(f"{title:28} {figure:14} {statistics.median(ratios):>10.3f}{unit:>2} {wanted:>10} "
                  f"{statistics.median(distances):>12.3f}")
            print(f"{'':28} {'cpu us / io':14} {statistics.median(cpu):>10.3f} x {'<= 1.0':>10}")
    finally:
        if image:
            subprocess.run(["losetup", "-d", dev], check=False)
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())

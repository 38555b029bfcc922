#!/usr/bin/env python3
"""Prints the benchmark table from Google Benchmark JSON output.

Rows are pairs of benchmarks named "<row>/ours" and "<row>/openssl". For each
row: our median, OpenSSL's median (as throughput when bytes were counted,
else as time per operation) and the ratio ours/OpenSSL in speed terms.
"""
import json
import sys


def main(path):
    with open(path) as f:
        data = json.load(f)
    rows = {}
    order = []
    for b in data["benchmarks"]:
        if b.get("aggregate_name", "median") != "median":
            continue
        name = b.get("run_name", b["name"])
        row, _, who = name.rpartition("/")
        if who not in ("ours", "openssl"):
            row, who = name, "ours"
        if row not in rows:
            rows[row] = {}
            order.append(row)
        rows[row][who] = b

    def speed(b):
        if "bytes_per_second" in b:
            return b["bytes_per_second"], "%.1f MB/s" % (b["bytes_per_second"] / 1e6)
        # CPU time: on a shared machine the wall clock is inflated by other load.
        t = b["cpu_time"]
        unit = b.get("time_unit", "ns")
        scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[unit]
        return 1.0 / (t * scale), "%.3g %s/op" % (t, unit)

    width = max([len(r) for r in order] + [10])
    print("%-*s  %18s  %18s  %7s" % (width, "row", "ours", "openssl", "ratio"))
    for row in order:
        ours = rows[row].get("ours")
        ossl = rows[row].get("openssl")
        so = speed(ours) if ours else (None, "-")
        sl = speed(ossl) if ossl else (None, "-")
        ratio = "%.2fx" % (so[0] / sl[0]) if so[0] and sl[0] else "-"
        print("%-*s  %18s  %18s  %7s" % (width, row, so[1], sl[1], ratio))


if __name__ == "__main__":
    main(sys.argv[1])

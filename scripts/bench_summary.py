#!/usr/bin/env python3
"""The summary of scripts/run-bench: each figure of the benchmark JSON files beside its goal.

Usage: bench_summary.py BENCH_DIR
"""
import json
import pathlib
import sys

bench_dir = pathlib.Path(sys.argv[1])
MB = 1024 * 1024 / 1e6  # MiB to MB


def load(program):
    path = bench_dir / f"{program}.json"
    return json.loads(path.read_text())["benchmarks"] if path.exists() else []


def find(entries, prefix):
    """The run named `prefix` or `prefix/...`: its median when repeated, else the run."""
    runs = [e for e in entries
            if e.get("run_name", e["name"]) == prefix
            or e.get("run_name", e["name"]).startswith(prefix + "/")]
    if any(e.get("error_occurred") for e in runs):
        return None
    for e in runs:
        if e.get("aggregate_name") == "median":
            return e
    return next((e for e in runs if e.get("run_type") == "iteration"), None)


rows = []


def row(figure, measured, goal, holds):
    rows.append((figure, measured, goal, "-" if holds is None else ("yes" if holds else "MISSED")))


def missing(figure, goal):
    row(figure, "not measured", goal, None)


# The page reader: medians over rounds that time every size and pass side by side.
by_size = find(load("bench_roster_reader"), "BM_ReaderBySize")
if by_size:
    for size, label in ((64, "64 KiB"), (1024, "1 MiB"), (8192, "8 MiB"), (30720, "30 MiB")):
        k = f"{size}k_"
        ratio = by_size[k + "ratio"]
        walk = by_size[k + "walk_us"] / by_size[k + "memmem_us"]
        row(f"reader {label} vs memmem pass",
            f"{by_size[k + 'reader_us']:.0f} vs {by_size[k + 'memmem_us']:.0f} us = {ratio:.1f}x"
            f", searches alone {walk:.1f}x", "<= 3x", ratio <= 3.0)
    scale = by_size["scale_8m_over_1m"]
    row("reader 8 MiB / 1 MiB", f"{scale:.1f}x", "<= ~9x", scale <= 9.0)
    scale = by_size["scale_30m_over_8m"]
    # 3.75x the bytes; a quadratic reader would take some 14x.
    row("reader 30 MiB / 8 MiB", f"{scale:.1f}x for 3.75x the bytes", "linear, ~3.75x",
        scale <= 3.75 * 1.25)
else:
    missing("reader vs memmem pass", "<= 3x")

# The scan against the loopback site.
scan = find(load("bench_scan"), "BM_ScanOverBarePosts")
if scan:
    row(f"scan of {scan['teams']:.0f} teams vs bare POSTs",
        f"{scan['scan_ms']:.0f} vs {scan['bare_ms']:.0f} ms = {scan['ratio']:.2f}x",
        "<= 1.15x", scan["ratio"] <= 1.15)
else:
    missing("scan vs bare POSTs", "<= 1.15x")
window = find(load("bench_window"), "BM_WindowScanOverHeadless")
if window:
    row(f"  window scan of {window['teams']:.0f} teams vs headless",
        f"{window['window_ms']:.0f} vs {window['headless_ms']:.0f} ms, median ratio "
        f"{window['ratio']:.2f}x", "<= 1.3x", window["ratio"] <= 1.3)
else:
    missing("  window scan vs headless", "<= 1.3x")

# The window against pages with 20 MB in one cell; the small page gives the floor.
PHASES = {0: "before the scan", 1: "scan", 2: "box", 3: "list"}


def stall(e):
    where = PHASES.get(int(e["stall_phase"]), "?")
    if e["gave_up"]:
        return f"> {e['stall_ms'] / 1e3:.0f} s, gave up ({where})", False
    return f"{e['stall_ms']:.0f} ms ({where})", e["stall_ms"] <= 100


hostile = load("bench_window")
small = find(hostile, "BM_HostilePage/small")
if small:
    text, holds = stall(small)
    row("window, small page: worst stall", text, "<= 100 ms", holds)
    row("  peak memory (the floor)", f"{small['peak_mib'] * MB:.1f} MB", "-", None)
else:
    missing("window, small page: worst stall", "<= 100 ms")
for case, label in (("name", "team name"), ("age", "age cell"), ("talent", "talent cell")):
    e = find(hostile, f"BM_HostilePage/{case}")
    if not e:
        missing(f"window, 20 MB {label}: worst stall", "<= 100 ms")
        continue
    text, holds = stall(e)
    row(f"window, 20 MB {label}: worst stall", text, "<= 100 ms", holds)
    peak, page = e["peak_mib"] * MB, e["page_mib"] * MB
    if not small:
        row("  peak memory", f"{peak:.1f} MB", "floor + 3x page", None)
        continue
    floor = small["peak_mib"] * MB
    bound = floor + 3 * page
    # A probe that gave up never reached the end, so its peak is only a lower bound.
    row("  peak memory", f"{peak:.1f} MB" + (" at give-up" if e["gave_up"] else "")
        + f" = floor + {(peak - floor) / page:.1f}x page",
        f"<= {bound:.0f} MB (floor + 3x {page:.1f})", not e["gave_up"] and peak <= bound)

# Start-up.
start = find(load("bench_startup"), "BM_StartToFirstPaint")
if start:
    stages = {k[:-3]: start[k] for k in ("loading_ms", "application_ms", "window_ms", "paint_ms")
              if k in start}
    row("start to first paint, median", f"{start['real_time']:.0f} ms", "< 300 ms",
        start["real_time"] < 300)
    if stages:
        top = max(stages, key=stages.get)
        row("  stages (median ms)", ", ".join(f"{k} {v:.0f}" for k, v in stages.items()),
            f"largest: {top}", None)
else:
    missing("start to first paint", "< 300 ms")

# Peak memory.
memory = load("bench_scan_memory")
for family, label in (("BM_ScanPeakMemory", "scan"), ("BM_WindowScanPeakMemory", "window scan")):
    peaks = {}
    for teams in (0, 500, 1000):
        e = find(memory, f"{family}/teams:{teams}")
        if e:
            peaks[teams] = e
    if 500 not in peaks:
        missing(f"peak memory, {label} of 500", "< 80 MB")
        continue
    floor = f" (floor {peaks[0]['peak_mib'] * MB:.1f})" if 0 in peaks else ""
    row(f"peak memory, {label} of 500 teams",
        f"{peaks[500]['peak_mib'] * MB:.1f} MB{floor}", "< 80 MB",
        peaks[500]["peak_mib"] * MB < 80)
    if 1000 in peaks:
        growth = (peaks[1000]["peak_mib"] - peaks[500]["peak_mib"]) * 1024
        rows_note = ""
        if "rows_kib" in peaks[1000] and "rows_kib" in peaks[500]:
            held = peaks[1000]["rows_kib"] - peaks[500]["rows_kib"]
            rows_note = f", 500 more rows hold {held:.0f} KiB"
        # Pages come and go one at a time; room for the allocator's rounding only.
        row(f"  {label}: 1,000 teams over 500", f"+{growth:.0f} KiB{rows_note}",
            "only the rows", growth <= 1024)

widths = [max(len(str(r[i])) for r in rows + [("figure", "measured", "goal", "holds")])
          for i in range(4)]
line = "  ".join("{:<%d}" % w for w in widths)
print()
print("== summary")
print(line.format("figure", "measured", "goal", "holds"))
print(line.format(*("-" * w for w in widths)))
for r in rows:
    print(line.format(*r))

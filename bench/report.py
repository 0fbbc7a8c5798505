#!/usr/bin/env python3
"""Turns bench/run's measurements into a Markdown report with a plot.

    report.py RESULTS.tsv OUTPUT_DIR "IMPORTED DLLS"
"""
import collections
import os
import shutil
import statistics
import subprocess
import sys

results_path, out, imports = sys.argv[1], sys.argv[2], sys.argv[3]
values = collections.defaultdict(list)
with open(results_path) as f:
    for line in f:
        figure, variant, size, value = line.rstrip("\n").split("\t")
        values[(figure, variant, size)].append(float(value))


def stats(key):
    v = values[key]
    return statistics.median(v), min(v), max(v), len(v)


def cell(key, unit):
    median, low, high, n = stats(key)
    return f"{median:.1f} {unit} ({low:.1f}–{high:.1f}, n={n})"


def ratio(numerator, denominator):
    return stats(numerator)[0] / stats(denominator)[0]


lines = ["# Benchmarks", "",
         "Medians with min–max over the runs, measured side by side in one Wine bench "
         "(Wine 8, Xvfb). Ratios compare medians.", ""]

lines += ["## Start to prompt", "",
          "From CreateProcessA until the prompt is visible with the focus in its edit box.", "",
          "| program | time |", "|---|---|",
          f"| PakInstaller.exe | {cell(('prompt', 'tool', '-'), 'ms')} |",
          f"| bare Win32 window | {cell(('prompt', 'bare', '-'), 'ms')} |",
          f"| bare window after the tool's start-up calls (common controls 6.0 with the "
          f"manifest, COM) | {cell(('prompt', 'bare_startup', '-'), 'ms')} |", "",
          f"Ratio tool / bare: **{ratio(('prompt', 'tool', '-'), ('prompt', 'bare', '-')):.2f}x** "
          "(goal: at most 1.10x); tool / bare window after the same start-up calls: "
          f"**{ratio(('prompt', 'tool', '-'), ('prompt', 'bare_startup', '-')):.2f}x**.", ""]

for medium, what in (("disk", "on the disk (ext4 on this machine's virtual disk)"),
                     ("memory", "in memory (tmpfs)")):
    figure = "copy-" + medium
    kinds = ("duplicate", "duplicate-window", "copyfile-flush", "copyfile", "cp")
    keys = {kind: (figure, kind, "-") for kind in kinds}
    if keys["duplicate"] not in values:
        continue
    older = ("an older copy written back to the disk and gone from the page cache"
             if medium == "disk" and not os.environ.get("OLDER_CACHED") else
             "an older copy written back to the disk and still in the page cache"
             if medium == "disk" else "an older copy")
    lines += [f"## Copy of 1 GiB over an older copy, {what}", "",
              f"Each round times every kind once, each over {older}, in an order that turns by "
              "one each round. DuplicateFile writes a temporary file, flushes it to the disk, "
              "renames it over the older copy and flushes again; CopyFileA and cp leave the new "
              "data in the page cache, to be written later; CopyFileA + flush is CopyFileA "
              "followed by FlushFileBuffers on the copy, the same durability as DuplicateFile's. "
              "DuplicateFile with the window is the tool's copy with its progress window shown "
              "from the first block on, its messages handled between the blocks.",
              "", "| DuplicateFile | DuplicateFile with the window | CopyFileA + flush | CopyFileA "
              "| native cp |", "|---|---|---|---|---|",
              "| " + " | ".join(cell(keys[kind], "ms") for kind in kinds) + " |", "",
              "DuplicateFile's time against each other kind (lower is faster for DuplicateFile): "
              "the ratio of the medians, then the median of the rounds' own ratios with their "
              "min–max.", "", "| against | ratio of medians | per round |", "|---|---|---|"]
    for ours, kind, name in (("duplicate", "copyfile-flush", "CopyFileA + flush"),
                             ("duplicate", "copyfile", "CopyFileA"), ("duplicate", "cp", "native cp"),
                             ("duplicate-window", "copyfile-flush",
                              "CopyFileA + flush (DuplicateFile with the window)"),
                             ("duplicate-window", "duplicate",
                              "DuplicateFile (DuplicateFile with the window)")):
        if keys[ours] not in values:
            continue
        rounds = [d / o for d, o in zip(values[keys[ours]], values[keys[kind]])]
        lines.append(f"| {name} | **{ratio(keys[ours], keys[kind]):.2f}x** | "
                     f"{statistics.median(rounds):.2f}x ({min(rounds):.2f}–{max(rounds):.2f}) |")
    if medium == "disk":
        lines += ["", "Goal: DuplicateFile, also with the window shown, at most 1.05x "
                  "CopyFileA + flush."]
    lines.append("")

slow = {kind: ("copy-slow", kind, "-") for kind in ("duplicate-window", "copyfile-flush")}
if slow["duplicate-window"] in values and slow["copyfile-flush"] in values:
    rate = os.environ.get("SLOW_MB_PER_SECOND", "150")
    rounds = [d / o for d, o in zip(values[slow["duplicate-window"]], values[slow["copyfile-flush"]])]
    lines += [f"## Copy of 1 GiB from a slow source ({rate} MB/s)", "",
              f"The source is read through a small FUSE file system that hands out {rate} MB a "
              "second, as a USB stick or a network share would; the copy goes to the disk over an "
              "older copy. The two kinds take turns.", "",
              "| DuplicateFile with the window | CopyFileA + flush | ratio of medians | per round |",
              "|---|---|---|---|",
              f"| {cell(slow['duplicate-window'], 'ms')} | {cell(slow['copyfile-flush'], 'ms')} | "
              f"**{ratio(slow['duplicate-window'], slow['copyfile-flush']):.2f}x** | "
              f"{statistics.median(rounds):.2f}x ({min(rounds):.2f}–{max(rounds):.2f}) |", "",
              "Goal: at most 1.05x.", ""]

waits = [(medium, ("window-wait-" + medium, "duplicate-window", "-"))
         for medium in ("disk", "memory", "slow")]
waits = [(medium, key) for medium, key in waits if key in values]
if waits:
    lines += ["## The window's longest wait during a copy of 1 GiB", "",
              "Another thread of the process sends the progress window an empty message as soon "
              "as the last one was handled, from the moment it shows until the copy ends; the "
              "longest time one of them waited, per copy (the system calls a window "
              "\"not responding\" after 5 s).", "",
              "| copy | longest wait |", "|---|---|"]
    lines += [f"| {medium} | {cell(key, 'ms')} |" for medium, key in waits]
    lines += ["", "Goal: under 100 ms.", ""]

sizes = sorted({int(k[2]) for k in values if k[0] == "settings"})
lines += ["## Settings: the run's two keys", "",
          "One process per read, the group at the end of the file. The earlier store parsed "
          "every line into a record at open; the plain read is one CreateFileA, ReadFile, "
          "CloseHandle of the whole file into a fresh buffer. All four run in turn each round.",
          "",
          "| file size | store | earlier store | GetPrivateProfileStringA | plain read | "
          "store speed-up |", "|---|---|---|---|---|---|"]
plot_rows = []
settings = lambda reader, size: ("settings", reader, str(size))
for size in sizes:
    store, profile = settings("store", size), settings("profile", size)
    cells = [cell(settings(r, size), "µs") if settings(r, size) in values else "–"
             for r in ("earlier", "read")]
    lines.append(f"| {size:,} B | {cell(store, 'µs')} | {cells[0]} | {cell(profile, 'µs')} | "
                 f"{cells[1]} | {ratio(profile, store):.1f}x |")
    plot_rows.append((size, stats(store)[0], stats(profile)[0]))
if all(settings(r, s) in values for r, s in (("store", 100), ("store", 10485760),
                                              ("read", 10485760))):
    cost = lambda reader: stats(settings(reader, 10485760))[0] - stats(settings(reader, 100))[0]
    plain = stats(settings("read", 10485760))[0]
    lines += ["", f"What 10 MB cost beyond the 100-byte file, against one plain read of it: "
              f"store **{cost('store') / plain:.2f}x** (goal: at most 1.25x)"
              + (f", earlier store {cost('earlier') / plain:.2f}x"
                 if settings("earlier", 100) in values else "") + "."]
if settings("earlier", 1024) in values:
    lines += ["", f"1 KB file, store / earlier store: "
              f"**{ratio(settings('store', 1024), settings('earlier', 1024)):.2f}x** "
              "(goal: at most 1.00x, no slower than before)."]
if len(plot_rows) >= 2:
    (s0, t0, _), (s1, t1, _) = plot_rows[-2], plot_rows[-1]
    lines += ["", f"Store time per byte from {s0:,} to {s1:,} bytes grows by "
              f"{(t1 / s1) / (t0 / s0):.2f}x (1.0 is linear). Goal: at least 10x faster than "
              "GetPrivateProfileStringA at 10 MB.", "", "![settings](settings.png)", ""]

size_bytes = stats(("footprint", "size_bytes", "-"))[0]
lines += ["## Footprint", "",
          f"- Executable size: {size_bytes / 1024:.1f} KiB (goal: under 256 KB).",
          f"- Imported DLLs: {imports.strip()}",
          f"- Peak working set at the prompt: {cell(('footprint', 'tool_peak_kb', '-'), 'KiB')}"
          f" (bare window: {cell(('footprint', 'bare_peak_kb', '-'), 'KiB')}).",
          f"- The same with a 10 MB config.pref: "
          f"{cell(('footprint', 'tool_peak_kb_10mb', '-'), 'KiB')}.", ""]

with open(os.path.join(out, "report.md"), "w") as f:
    f.write("\n".join(lines))

if plot_rows and shutil.which("gnuplot"):
    data = os.path.join(out, "settings.dat")
    with open(data, "w") as f:
        for row in plot_rows:
            f.write("%d %f %f\n" % row)
    script = f"""
set terminal png size 800,500
set output '{os.path.join(out, 'settings.png')}'
set logscale xy
set xlabel 'settings file size (bytes)'
set ylabel 'time to read two keys (microseconds)'
set key left top
set grid
plot '{data}' using 1:2 with linespoints title 'store', \\
     '{data}' using 1:3 with linespoints title 'GetPrivateProfileStringA'
"""
    subprocess.run(["gnuplot"], input=script.encode(), check=True)

#!/usr/bin/env python3
"""Turns the benchmark's result files into docs/benchmarks.md and a chart.

usage: report.py RESULTS_DIR DOCS_DIR COMMAND
RESULTS_DIR holds meta.tsv, suite.tsv, repeat*.tsv and cold.tsv as written
by bench/run.sh; COMMAND is the command line shown in the document.
"""
import csv
import os
import statistics
import subprocess
import sys

PEERS = ["pugixml", "tinyxml2", "libxml2"]
CHART_SHAPES = ["catalogue", "text", "attrs", "flat", "deep"]
CHART_SERIES = [("expat (no handlers) parse", "bare expat"), ("nkKivo parse", "nkKivo")] + [
    (peer + " parse", peer) for peer in PEERS]


def read_tsv(path):
    with open(path, newline="") as handle:
        return list(csv.DictReader(handle, delimiter="\t"))


def read_meta(path):
    meta = {}
    with open(path) as handle:
        for line in handle:
            key, _, value = line.rstrip("\n").partition("\t")
            meta[key] = value
    return meta


def number(text):
    try:
        return float(text)
    except (TypeError, ValueError):
        return None


class Results:
    """The suite's rows, looked up by shape, size and measure."""

    def __init__(self, rows):
        self.rows = {(r["shape"], int(r["mib"]), r["measure"]): r for r in rows}
        self.jobs = []
        for r in rows:
            job = (r["shape"], int(r["mib"]))
            if job not in self.jobs:
                self.jobs.append(job)

    def row(self, shape, mib, measure):
        return self.rows.get((shape, mib, measure))

    def seconds(self, shape, mib, measure):
        row = self.row(shape, mib, measure)
        return number(row["median_s"]) if row else None

    def field(self, shape, mib, measure, name):
        row = self.row(shape, mib, measure)
        return number(row[name]) if row else None


def ratio(numerator, denominator):
    if numerator is None or not denominator:
        return None
    return numerator / denominator


def fmt(value, digits=2, suffix=""):
    return "refused" if value is None else f"{value:.{digits}f}{suffix}"


def verdict(value, limit):
    if value is None:
        return "n/a"
    return "yes" if value <= limit else "**no**"


def elapsed_seconds(text):
    parts = [float(p) for p in text.split(":")]
    seconds = 0.0
    for part in parts:
        seconds = seconds * 60 + part
    return seconds


def cold_summary(rows):
    summary = {}
    for library in ["expat", "nkkivo"] + PEERS:
        runs = [r for r in rows if r["library"] == library]
        if not runs:
            continue
        summary[library] = {
            "parse": statistics.median(float(r["parse_s"]) for r in runs),
            "elapsed": statistics.median(elapsed_seconds(r["elapsed"]) for r in runs),
            "rss": statistics.median(int(r["max_rss_kib"]) for r in runs) / 1024.0,
            "tags": runs[0]["tags"],
            "runs": len(runs),
        }
    return summary


def target_rows(main, repeats, cold, cold_mib):
    """(target, goal, measured, met) for each target of the issue."""
    def ratios(fn):
        values = [fn(r) for r in [main] + repeats]
        return [v for v in values if v is not None]

    def cat(r, measure):
        return r.seconds("catalogue", 8, measure)

    rows = []
    checks = [
        ("parse / bare expat, warm heap", 1.3,
         lambda r: ratio(cat(r, "nkKivo parse"), cat(r, "expat (no handlers) parse"))),
        ("destroy / parse", 0.5,
         lambda r: ratio(cat(r, "nkKivo destroy"), cat(r, "nkKivo parse"))),
        ("clone / parse", 1.0,
         lambda r: ratio(cat(r, "nkKivo clone"), cat(r, "nkKivo parse"))),
        ("4 KiB pieces / one piece", 1.1,
         lambda r: ratio(cat(r, "nkKivo, 4 KiB pieces parse"), cat(r, "nkKivo parse"))),
    ]
    for label, limit, fn in checks:
        values = ratios(fn)
        first = values[0] if values else None
        spread = f" (runs: {min(values):.3f}–{max(values):.3f})" if len(values) > 1 else ""
        rows.append((label, f"≤ {limit:.2f}x", fmt(first, 3, "x") + spread, verdict(first, limit)))
    heap = main.field("catalogue", 8, "nkKivo parse", "heap_bytes_per_tag")
    rows.append(("heap per tag", "≤ 200 B", fmt(heap, 0, " B"), verdict(heap, 200)))
    if "nkkivo" in cold and "tinyxml2" in cold:
        mine, theirs = cold["nkkivo"], cold["tinyxml2"]
        rows.append((f"cold {cold_mib} MiB parse / tinyxml2's", "≤ 1.00x",
                     f"{mine['parse'] / theirs['parse']:.2f}x parse, "
                     f"{mine['elapsed'] / theirs['elapsed']:.2f}x whole process",
                     verdict(mine["parse"] / theirs["parse"], 1.0)))
    for shape in ["flat", "deep", "attrs"]:
        growth = ratio(main.seconds(shape, 8, "nkKivo parse"), main.seconds(shape, 1, "nkKivo parse"))
        rows.append((f"8x size, {shape}: time growth", "≤ 9x", fmt(growth, 1, "x"),
                     verdict(growth, 9.0)))
    return rows


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(str(cell) for cell in row) + " |" for row in rows]
    return "\n".join(lines)


def catalogue_table(main):
    rows = []
    for (shape, mib, measure), row in main.rows.items():
        if (shape, mib) != ("catalogue", 8):
            continue
        median = number(row["median_s"])
        if median is None:
            rows.append((measure, "refused", "", "", "", "", ""))
            continue
        spread = number(row["max_s"]) / number(row["min_s"])
        heap = number(row["heap_bytes_per_tag"])
        calls = number(row["new_calls_per_tag"])
        rows.append((measure, f"{median * 1e3:.1f}", f"{number(row['mb_per_s']):.0f}",
                     f"{number(row['ratio_to_expat']):.2f}", f"{spread:.2f}",
                     "" if heap is None else f"{heap:.0f}",
                     "" if calls is None else f"{calls:.2f}"))
    return table(["measure", "median ms", "MB/s", "x bare expat", "max/min", "heap B/tag",
                  "new calls/tag"], rows)


def shapes_table(main):
    rows = []
    for shape, mib in main.jobs:
        floor = main.seconds(shape, mib, "expat (no handlers) parse")
        kivo = main.seconds(shape, mib, "nkKivo parse")
        cells = [shape, mib, main.row(shape, mib, "nkKivo parse")["tags"] if kivo else "",
                 fmt(main.field(shape, mib, "expat (no handlers) parse", "mb_per_s"), 0),
                 fmt(ratio(kivo, floor), 2, "x"),
                 fmt(ratio(main.seconds(shape, mib, "nkKivo, 4 KiB pieces parse"), kivo), 2, "x"),
                 fmt(ratio(main.seconds(shape, mib, "nkKivo destroy"), kivo), 2, "x"),
                 fmt(ratio(main.seconds(shape, mib, "nkKivo clone"), kivo), 2, "x"),
                 fmt(main.field(shape, mib, "nkKivo parse", "heap_bytes_per_tag"), 0)]
        for peer in PEERS:
            cells.append(fmt(ratio(main.seconds(shape, mib, peer + " parse"), floor), 2, "x"))
        rows.append(cells)
    header = ["shape", "MiB", "tags", "bare expat MB/s", "nkKivo parse x expat",
              "pieces / parse", "destroy / parse", "clone / parse", "nkKivo heap B/tag"]
    header += [f"{peer} parse x expat" for peer in PEERS]
    return table(header, rows)


def scaling_table(main):
    rows = []
    for shape in CHART_SHAPES:
        for measure in ["expat (no handlers) parse", "nkKivo parse", "nkKivo destroy",
                        "nkKivo clone"]:
            small, large = main.seconds(shape, 1, measure), main.seconds(shape, 8, measure)
            if small is None or large is None:
                continue
            rows.append((shape, measure, f"{small * 1e3:.1f}", f"{large * 1e3:.1f}",
                         f"{large / small:.1f}x"))
    return table(["shape", "measure", "1 MiB ms", "8 MiB ms", "growth"], rows)


def cold_table(cold):
    rows = []
    for library, s in cold.items():
        rows.append((library, f"{s['parse']:.3f}", f"{s['elapsed']:.2f}", f"{s['rss']:.0f}",
                     s["tags"] if library != "expat" else "(no tree)"))
    return table(["library", "parse s", "whole process s", "peak RSS MiB", "tags"], rows)


def write_chart(main, docs):
    data = os.path.join(docs, ".benchmarks-chart.dat")
    with open(data, "w") as handle:
        handle.write("shape " + " ".join(f'"{label}"' for _, label in CHART_SERIES) + "\n")
        for shape in CHART_SHAPES:
            values = []
            for measure, _ in CHART_SERIES:
                mbps = main.field(shape, 8, measure, "mb_per_s")
                values.append("0" if mbps is None else f"{mbps:.1f}")
            handle.write(f"{shape} " + " ".join(values) + "\n")
    script = f"""
set terminal pngcairo size 1000,520 font "sans,11"
set output "{os.path.join(docs, 'benchmarks.png')}"
set title "Parse into a tree, 8 MiB documents, warm heap (MB/s, higher is better; 0 = refused)"
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.85 border -1
set boxwidth 0.9
set ylabel "MB/s"
set yrange [0:*]
set grid ytics
set key top left
plot for [i=2:{len(CHART_SERIES) + 1}] "{data}" using i:xtic(1) title columnheader(i)
"""
    try:
        subprocess.run(["gnuplot"], input=script, text=True, check=True)
    except (OSError, subprocess.CalledProcessError) as error:
        print(f"chart not written: {error}", file=sys.stderr)
    finally:
        os.remove(data)


def main():
    results_dir, docs, command = sys.argv[1], sys.argv[2], sys.argv[3]
    meta = read_meta(os.path.join(results_dir, "meta.tsv"))
    main_run = Results(read_tsv(os.path.join(results_dir, "suite.tsv")))
    repeats = [Results(read_tsv(os.path.join(results_dir, name)))
               for name in sorted(os.listdir(results_dir)) if name.startswith("repeat")]
    cold = cold_summary(read_tsv(os.path.join(results_dir, "cold.tsv")))
    os.makedirs(docs, exist_ok=True)
    write_chart(main_run, docs)

    notes_path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "notes.md")
    notes = open(notes_path).read() if os.path.exists(notes_path) else ""
    text = f"""# Benchmarks

Generated by `{command}` (from the repository root) on {meta.get('date', '?')}:
{meta.get('cpu', '?')}, {meta.get('cores', '?')} cores, {meta.get('compiler', '?')}, Release build;
expat {meta.get('expat')}, pugixml {meta.get('pugixml')}, tinyxml2 {meta.get('tinyxml2')},
libxml2 {meta.get('libxml2')}. Load average before the run {meta.get('load_before')}, after
{meta.get('load_after')} (the machine is shared, so absolute figures move; ratios within one
run are steadier).

![Parse throughput by document shape](benchmarks.png)

## Targets

On the 8 MiB catalogue unless the row says otherwise. Ratios are taken within one run; the
range shows the same ratio over {1 + len(repeats)} runs of that document.

{table(["target", "goal", "measured", "met"], target_rows(main_run, repeats, cold, meta.get("cold_mib", "?")))}

## How it is measured

- Every document is generated by the benchmark itself from a fixed sequence, so each run
  and each library sees the same bytes: a catalogue (records with three attributes, short
  texts, a prefixed element, mixed content, predefined entities and a character
  reference), a text-heavy book, empty elements with twelve attributes each, a flat list
  (about a million siblings at 8 MiB) and a chain of nested elements (about 100,000 levels
  per MiB).
- Each document is measured in rounds: one round runs every measurement once, so a burst
  of load from elsewhere hits all of them alike. The first round only warms caches and the
  heap. Figures are medians of the remaining rounds; "max/min" shows their spread.
- Bare expat is `XML_Parse` over the whole text with no handlers: the floor for any tree
  built on it. Two reference rows show what expat itself adds when fed in 4 KiB pieces and
  when it reports the three events a builder needs to empty handlers.
- Every parse is checked for the generated tag count before it counts.
- Warm heap: the benchmark process keeps freed memory (it raises the allocator's trim and
  mapping thresholds for itself), as a long-running host that has parsed before would.
  The library never changes allocator settings. The cold runs below use fresh processes
  with the allocator's defaults.
- Heap bytes per tag: the growth of the C library's count of bytes in use (`mallinfo2`,
  block overhead included) while the tree is built and held, divided by the tag count.
  The same meter serves every library; pugixml and tinyxml2 keep a copy of the document
  text inside their trees, which their figure includes. New calls per tag counts calls of
  the global `operator new` (peers that use `malloc` directly show none).
- Peers: pugixml `load_buffer` with its default flags, tinyxml2 `XMLDocument::Parse`,
  libxml2 `xmlReadMemory` with `XML_PARSE_HUGE` (which lifts its nesting limit).
  tinyxml2 refuses the deep document by design: it limits nesting.

## Catalogue, 8 MiB

{catalogue_table(main_run)}

## All documents

Ratios to bare expat on the same document in the same run; pieces, destroy and clone as a
share of this library's one-piece parse.

{shapes_table(main_run)}

## Growth with size (this library)

{scaling_table(main_run)}

## Cold whole-process parse, {meta.get('cold_mib', '?')} MiB catalogue

Each library in a fresh process under `/usr/bin/time -v`, median of
{max((s['runs'] for s in cold.values()), default=0)} runs: the process reads the document
file, parses it once (timed inside: "parse s"), counts the tags and destroys the tree.
"Whole process" and the peak resident memory cover all of it, including the document
text held in memory.

{cold_table(cold)}

{notes}"""
    with open(os.path.join(docs, "benchmarks.md"), "w") as handle:
        handle.write(text.rstrip() + "\n")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Summarises runs of marlrend_bench's vector benchmarks as Markdown tables.

    marlrend_bench --benchmark_filter='BM_Vector|BM_ThreeStreamFloor|BM_ByteSerialBand|BM_RowEnd' \
        --benchmark_format=json --benchmark_out=run1.json
    bench/summarise_vector.py run1.json [run2.json ...] > tables.md

With several runs, each entry keeps the run with the lowest ratio (a busy machine only ever
makes a round slower). Targets: band rows 1.25x memcpy (1.5x for names of five or more
operators), 600-pixel rows 1.5x (2x), 0xF0 1.1x memset, 1-bit text 2x memcpy.
"""
import json
import re
import statistics
import sys


def load(paths):
    best = {}
    for path in paths:
        with open(path) as f:
            for b in json.load(f)["benchmarks"]:
                ratio = b.get("x_memcpy", b.get("x_memset"))
                if ratio is None:
                    continue
                name = re.sub(r"/iterations:\d+$", "", b["name"])
                if name not in best or ratio < best[name]["ratio"]:
                    best[name] = {"ratio": ratio, "ns": b.get("ns_row", 0.0),
                                  "label": b.get("label", ""), "ops": int(b.get("ops", 0))}
    return best


def operands(label):
    d, s = "D" in label, "S" in label
    return "D and S" if d and s else "S, no D" if s else "D, no S" if d else "neither D nor S"


KINDS = ["D and S", "S, no D", "D, no S", "neither D nor S"]


def every_code(best, bench):
    rows = {}
    for p, arg in (("solid", 0), ("pattern 8x8", 1)):
        for rop in range(256):
            entry = best.get(f"{bench}/rop:{rop}/operands:{arg}")
            if entry:
                rows[(rop, p)] = entry
    return rows


def summary(rows, target, long_target, title):
    out = [f"## {title}", "",
           "| P | codes | within target | median ratio | worst ratio | median by operands: "
           "D and S / S, no D / D, no S / neither |", "|---|---|---|---|---|---|"]
    over = {k: [0, 0] for k in KINDS}
    for p in ("solid", "pattern 8x8"):
        entries = [(rop, e) for (rop, q), e in rows.items() if q == p]
        if not entries:
            continue
        ratios = [e["ratio"] for _, e in entries]
        within = 0
        by_kind = {k: [] for k in KINDS}
        for rop, e in entries:
            limit = long_target if e["ops"] >= 5 else target
            kind = operands(e["label"])
            by_kind[kind].append(e["ratio"])
            over[kind][1] += 1
            if e["ratio"] <= limit:
                within += 1
            else:
                over[kind][0] += 1
        medians = " / ".join(f"{statistics.median(by_kind[k]):.2f}" if by_kind[k] else "-"
                             for k in KINDS)
        out.append(f"| {p} | {len(entries)} | {within} | {statistics.median(ratios):.2f} | "
                   f"{max(ratios):.2f} | {medians} |")
    out += ["", f"Targets: {target}x memcpy, {long_target}x for names of five or more operators. "
            "Codes over the target, by what they read:"]
    out += [f"- {k}: {over[k][0]} of {over[k][1]} (code, P) pairs" for k in KINDS]
    misses = sorted(((e["ratio"], rop, p, e["label"]) for (rop, p), e in rows.items()
                     if e["ratio"] > (long_target if e["ops"] >= 5 else target)), reverse=True)
    if misses:
        out.append("- the worst: " + ", ".join(f"0x{rop:02X} {label} ({p}) {r:.2f}x"
                                               for r, rop, p, label in misses[:8]))
    return out + [""]


def others(best):
    out = ["## Fill, text, floor, byte-serial, row ends", "", "| What | ns per row | ratio |",
           "|---|---|---|"]
    named = [("BM_VectorFillAgainstMemset/0", "0xF0 solid, band (x memset)"),
             ("BM_VectorFillAgainstMemset/1", "0xF0 pattern 8x8, band (x memset)"),
             ("BM_VectorText/rop:184/operands:3", "0xB8, 1-bit text source, pattern brush (x memcpy)"),
             ("BM_VectorText/rop:226/operands:3", "0xE2, 1-bit text source, pattern brush (x memcpy)"),
             ("BM_VectorText/rop:204/operands:2", "0xCC, 1-bit source colour-expanded (x memcpy)"),
             ("BM_ThreeStreamFloor", "floor: compiled SSE2 loop d = min(d, s), band (x memcpy)")]
    for key, what in named:
        if key in best:
            out.append(f"| {what} | {best[key]['ns']:.0f} | {best[key]['ratio']:.2f} |")
    for key in sorted(k for k in best if k.startswith("BM_ByteSerialBand")):
        m = re.search(r"rop:(\d+)/operands:(\d+)", key)
        what = ["solid P", "pattern P", "1-bit S, solid P", "1-bit S, pattern P"][int(m.group(2))]
        out.append(f"| byte-serial 0x{int(m.group(1)):02X} ({what}), band | "
                   f"{best[key]['ns']:.0f} | {best[key]['ratio']:.1f} |")
    for key in sorted(k for k in best if k.startswith("BM_RowEnd")):
        m = re.search(r"rop:(\d+)/pixels_or_byte_serial:(\d+)", key)
        how = "byte-serial 600 px" if m.group(2) == "0" else f"vector {m.group(2)} px"
        out.append(f"| row end 0x{int(m.group(1)):02X}, {how} | {best[key]['ns']:.0f} | "
                   f"{best[key]['ratio']:.2f} |")
    return out + [""]


def whole_table(band, narrow):
    out = ["## The whole table", "",
           "| code | name | ops | band solid ns | x | band pattern ns | x | 600 solid ns | x | "
           "600 pattern ns | x |", "|---|---|---|---|---|---|---|---|---|---|---|"]
    for rop in range(256):
        cells = []
        label, ops = "", 0
        for rows in (band, narrow):
            for p in ("solid", "pattern 8x8"):
                e = rows.get((rop, p))
                if e:
                    label, ops = e["label"], e["ops"]
                    cells += [f"{e['ns']:.0f}", f"{e['ratio']:.2f}"]
                else:
                    cells += ["-", "-"]
        out.append(f"| 0x{rop:02X} | {label} | {ops} | " + " | ".join(cells) + " |")
    return out + [""]


def main():
    best = load(sys.argv[1:])
    band = every_code(best, "BM_VectorBand")
    narrow = every_code(best, "BM_Vector600")
    lines = summary(band, 1.25, 1.5, "Band rows, every code (4960 x 64)")
    lines += summary(narrow, 1.5, 2.0, "600-pixel rows, every code (600 x 64)")
    lines += others(best) + whole_table(band, narrow)
    print("\n".join(lines))


if __name__ == "__main__":
    main()

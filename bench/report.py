#!/usr/bin/env python3
"""Summarises scripts/bench.sh's results: report.py RESULTS HEADER.

RESULTS holds one line per measurement, "scale kind run key=value ...", kinds: bytes (the
original data size), windowMS (the player's first run through the installer's windows, the
driver looking every MS ms), first (the no-window first run on a fresh copy), second (the
no-window run again on the folder the first one patched), floor_fsync (copy out, copy back,
delete, flushed where the patcher flushes), again (the player's second run through the
windows on the folder the window run patched), repair (the same after five archives were put
back to their original bytes), repair_floor (floor+fsync for those five alone). Every
measurement carries the load average before it. Prints the tables and exits 1 if a
measurement is missing or a run failed."""
import statistics
import sys

MB = 1024 * 1024
ORDER = ["smoke", "hundredth", "tenth", "gb", "full"]
PHASES = [("t_copy", "copy (CopyFileW)"), ("t_flush_copy", "flush the copy"),
          ("t_table", "read the table"), ("t_rewrite", "rewrite"),
          ("t_flush_archive", "flush the archive"), ("t_other", "delete, size, bar"),
          ("t_check", "next archive's fingerprint check")]


def load(path):
    runs = {}
    for line in open(path, encoding="utf-8"):
        parts = line.split()
        if len(parts) < 3:
            continue
        scale, kind = parts[0], parts[1]
        values = {"run": float(parts[2])}
        for item in parts[3:]:
            key, _, value = item.partition("=")
            try:
                values[key] = float(value)
            except ValueError:
                pass
        runs.setdefault(scale, {}).setdefault(kind, []).append(values)
    return runs


def median(rows, key):
    values = [r[key] for r in rows if key in r]
    return statistics.median(values) if values else float("nan")


def window_kinds(kinds):
    """The window runs' kinds, the driver's sampling interval rising."""
    return sorted((k for k in kinds if k.startswith("window")), key=lambda k: int(k[6:]))


def main():
    runs = load(sys.argv[1])
    header = open(sys.argv[2], encoding="utf-8").read().rstrip() if len(sys.argv) > 2 else ""
    ok = True
    scales = sorted(runs, key=lambda s: ORDER.index(s) if s in ORDER else 99)
    for scale in scales:
        kinds = runs[scale]
        if not window_kinds(kinds):
            print(f"bench: {scale}: no run through the window", file=sys.stderr)
            ok = False
        for kind in ["first", "second", "floor_fsync", "again", "repair", "repair_floor"] + window_kinds(kinds):
            rows = kinds.get(kind, [])
            if not rows or any("seconds" not in r for r in rows):
                print(f"bench: {scale}: a {kind} measurement is missing", file=sys.stderr)
                ok = False
            if "floor" not in kind and any(r.get("failed", 1) != 0 or r.get("messages", 1) != 0 for r in rows):
                print(f"bench: {scale}: a {kind} run did not patch every archive", file=sys.stderr)
                ok = False
    if not ok:
        return 1

    print(header)
    print()
    print("The player's first run against the I/O floor (seconds, median; every run on a fresh copy of")
    print("the original folder, caches dropped; the second run on the folder the first one patched):")
    print(f"{'scale':10} {'GB':>6} {'window':>8} {'first':>8} {'second':>8} {'floor+fsync':>11}"
          f" {'window/floor':>12} {'first/floor':>11} {'second/floor':>12} {'load':>10}")
    for scale in scales:
        k = runs[scale]
        gb = k["bytes"][0]["bytes"] / 1e9
        window_rows = [r for kind in window_kinds(k) for r in k[kind]]
        window, first, second, durable = (median(rows, "seconds") for rows in
                                          (window_rows, k["first"], k["second"], k["floor_fsync"]))
        loads = [r["load"] for kind in k if kind != "bytes" for r in k[kind] if "load" in r]
        load_range = f"{min(loads):.1f}-{max(loads):.1f}" if loads else "-"
        print(f"{scale:10} {gb:6.2f} {window:8.2f} {first:8.2f} {second:8.2f} {durable:11.2f}"
              f" {window / durable:12.2f} {first / durable:11.2f} {second / durable:12.2f} {load_range:>10}")
    print("  window: the installer through its windows, driven like a user, from the folder's acceptance")
    print("  to the closing message; first/second: the no-window patching run; floor: floor+fsync")

    print()
    print("The player's second run through the window (seconds, median; against floor+fsync of the whole")
    print("folder, and the repair against floor+fsync of the five archives it rewrites):")
    print(f"{'scale':10} {'window':>8} {'again':>8} {'repair':>8} {'floor+fsync':>11} {'five':>8}"
          f" {'again/floor':>11} {'repair/floor':>12} {'repair/five':>11} {'written':>9}")
    for scale in scales:
        k = runs[scale]
        window = median([r for kind in window_kinds(k) for r in k[kind]], "seconds")
        again, repair, durable, five = (median(k[kind], "seconds") for kind in
                                        ("again", "repair", "floor_fsync", "repair_floor"))
        written = f"{median(k['again'], 'written'):.0f}, {median(k['repair'], 'written'):.0f}"
        print(f"{scale:10} {window:8.2f} {again:8.3f} {repair:8.3f} {durable:11.2f} {five:8.3f}"
              f" {again / durable:11.3f} {repair / durable:12.3f} {repair / five:11.2f} {written:>9}")
    print("  again: on the folder the window run patched; repair: after five archives were put back to")
    print(f"  their original bytes ({median(runs[scales[-1]]['repair'], 'restored_bytes') / 1e6:.0f} MB at"
          f" {scales[-1]} scale); five: floor+fsync for those five alone; written: archives written")

    print()
    print("Every measurement in the order taken (seconds; load average before it):")
    for scale in scales:
        k = runs[scale]
        order = window_kinds(k) + ["again", "repair", "repair_floor", "first", "second", "floor_fsync"]
        count = max(int(r["run"]) for kind in order for r in k[kind])
        for run in range(1, count + 1):
            cells = []
            for kind in order:
                for r in k[kind]:
                    if int(r["run"]) == run:
                        cells.append(f"{kind} {r['seconds']:.2f} (load {r.get('load', float('nan')):.1f})")
            durable = [r["seconds"] for r in k["floor_fsync"] if int(r["run"]) == run]
            ratio = ""
            if durable:
                ratio = "; window/floor " + ", ".join(
                    f"{r['seconds'] / durable[0]:.2f}" for kind in window_kinds(k) for r in k[kind] if int(r["run"]) == run)
            print(f"  {scale} run {run}: " + ", ".join(cells) + ratio)

    print()
    print("The driver's sampling (the window run with the driver looking often and rarely):")
    print(f"{'scale':10} {'every ms':>8} {'looks':>7} {'seconds':>8} {'/floor':>7}")
    for scale in scales:
        k = runs[scale]
        durable = median(k["floor_fsync"], "seconds")
        for kind in window_kinds(k):
            rows = k[kind]
            print(f"{scale:10} {kind[6:]:>8} {median(rows, 'looks'):7.0f} {median(rows, 'seconds'):8.2f}"
                  f" {median(rows, 'seconds') / durable:7.2f}")

    print()
    print("Where the time goes (seconds, median; the patcher's phases as the I/O seam sees them):")
    for scale in scales:
        k = runs[scale]
        for kind in ("first", "second"):
            phases = ", ".join(f"{label} {median(k[kind], key):.2f}" for key, label in PHASES)
            print(f"  {scale}: {kind}: {phases}; CPU user {median(k[kind], 'cpu_user'):.2f}"
                  f" kernel {median(k[kind], 'cpu_kernel'):.2f}")
        rows = k["floor_fsync"]
        copy, flush, total = median(rows, "t_copy"), median(rows, "t_sync_close"), median(rows, "seconds")
        print(f"  {scale}: floor+fsync: copies {copy:.2f}, fsync+close {flush:.2f},"
              f" delete and the rest {total - copy - flush:.2f}; CPU user"
              f" {median(rows, 'cpu_user'):.2f} kernel {median(rows, 'cpu_kernel'):.2f}")

    print()
    print("File calls of the patcher per archive, first run (through the I/O seam; fingerprint check included):")
    print(f"{'scale':10} {'reads':>7} {'writes':>7} {'seeks':>7} {'opens':>6} {'creates':>7}"
          f" {'copies':>6} {'flushes':>7} {'renames':>7} {'deletes':>7} {'allocs':>7} {'fingerprints':>12}")
    for scale in scales:
        p = runs[scale]["first"]
        n = median(p, "archives")
        cells = " ".join(f"{median(p, key) / n:{width}.1f}" for key, width in
                         (("reads", 7), ("writes", 7), ("seeks", 7), ("opens", 6), ("creates", 7),
                          ("copies", 6), ("flushes", 7), ("renames", 7), ("deletes", 7), ("allocs", 7)))
        print(f"{scale:10} {cells} {'yes' if median(p, 'fingerprints') else 'no':>12}")

    print()
    print("Memory of the patching process, first run (MB; working set = resident, private = committed anonymous):")
    print(f"{'scale':10} {'payload':>8} {'WS before':>9} {'WS peak':>8} {'peak-before':>11}"
          f" {'private before':>14} {'private peak':>12} {'peak-before':>11}")
    for scale in scales:
        p = runs[scale]["first"]
        wb, wp = median(p, "ws_before") / MB, median(p, "ws_peak_process") / MB
        ws_sampled = median(p, "ws_peak_sampled") / MB
        pb, pp = median(p, "private_before") / MB, median(p, "private_peak_sampled") / MB
        print(f"{scale:10} {median(p, 'payload_bytes') / MB:8.1f} {wb:9.1f} {wp:8.1f} {ws_sampled - wb:11.1f}"
              f" {pb:14.1f} {pp:12.1f} {pp - pb:11.1f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

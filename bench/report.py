#!/usr/bin/env python3
"""Summarises scripts/bench.sh's results: report.py RESULTS HEADER.

RESULTS holds one line per measurement, "scale kind run key=value ...", kinds: bytes (the
original data size), first (the first patch of a fresh folder), patch, floor, floor_fsync,
rw_fsync (floor_fsync through a user-space buffer), ui (a patch run with the progress window). Prints the tables and exits 1 if a measurement
is missing or a patch run failed."""
import statistics
import sys

MB = 1024 * 1024
ORDER = ["smoke", "hundredth", "tenth", "full"]
PHASES = [("t_copy", "copy (CopyFileW)"), ("t_flush_copy", "flush the copy"),
          ("t_table", "read the table"), ("t_rewrite", "rewrite"),
          ("t_flush_archive", "flush the archive"), ("t_other", "delete, size, next archive")]


def load(path):
    runs = {}
    for line in open(path, encoding="utf-8"):
        parts = line.split()
        if len(parts) < 3:
            continue
        scale, kind = parts[0], parts[1]
        values = {}
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


def main():
    runs = load(sys.argv[1])
    header = open(sys.argv[2], encoding="utf-8").read().rstrip() if len(sys.argv) > 2 else ""
    ok = True
    scales = sorted(runs, key=lambda s: ORDER.index(s) if s in ORDER else 99)
    for scale in scales:
        kinds = runs[scale]
        for kind in ("patch", "floor", "floor_fsync", "rw_fsync"):
            rows = kinds.get(kind, [])
            if not rows or any("seconds" not in r for r in rows):
                print(f"bench: {scale}: a {kind} measurement is missing", file=sys.stderr)
                ok = False
        for kind in ("first", "patch", "ui"):
            for r in kinds.get(kind, []):
                if r.get("failed", 1) != 0 or r.get("messages", 1) != 0 or "seconds" not in r:
                    print(f"bench: {scale}: a {kind} run did not patch every archive", file=sys.stderr)
                    ok = False
    if not ok:
        return 1

    print(header)
    print()
    print("Patching run against the I/O floor (seconds, median):")
    print(f"{'scale':10} {'archives':>8} {'GB':>7} {'patch':>8} {'floor':>8} {'floor+fsync':>11}"
          f" {'rw+fsync':>8} {'patch/floor':>11} {'patch/(floor+fsync)':>19} {'patch/(rw+fsync)':>16}")
    for scale in scales:
        k = runs[scale]
        gb = k["bytes"][0]["bytes"] / 1e9
        patch, floor, durable, rw = (median(k[x], "seconds") for x in ("patch", "floor", "floor_fsync", "rw_fsync"))
        archives = int(median(k["patch"], "archives"))
        print(f"{scale:10} {archives:8d} {gb:7.3f} {patch:8.2f} {floor:8.2f} {durable:11.2f} {rw:8.2f}"
              f" {patch / floor:11.2f} {patch / durable:19.2f} {patch / rw:16.2f}")

    print()
    print("Where the time goes (seconds, median; patch phases as the I/O seam sees them):")
    for scale in scales:
        k = runs[scale]
        phases = ", ".join(f"{label} {median(k['patch'], key):.2f}" for key, label in PHASES)
        print(f"  {scale}: patch: {phases}; CPU user {median(k['patch'], 'cpu_user'):.2f}"
              f" kernel {median(k['patch'], 'cpu_kernel'):.2f}")
        for kind in ("floor", "floor_fsync", "rw_fsync"):
            rows = k[kind]
            copy, flush, total = median(rows, "t_copy"), median(rows, "t_sync_close"), median(rows, "seconds")
            print(f"  {scale}: {kind}: copies {copy:.2f}, fsync+close {flush:.2f},"
                  f" delete and the rest {total - copy - flush:.2f}; CPU user"
                  f" {median(rows, 'cpu_user'):.2f} kernel {median(rows, 'cpu_kernel'):.2f}")

    print()
    print("File calls of the patcher per archive (through the I/O seam; fingerprint check included):")
    print(f"{'scale':10} {'reads':>7} {'writes':>7} {'seeks':>7} {'opens':>6} {'creates':>7}"
          f" {'copies':>6} {'flushes':>7} {'renames':>7} {'deletes':>7} {'allocs':>7} {'fingerprints':>12}")
    for scale in scales:
        p = runs[scale]["patch"]
        n = median(p, "archives")
        cells = " ".join(f"{median(p, key) / n:{width}.1f}" for key, width in
                         (("reads", 7), ("writes", 7), ("seeks", 7), ("opens", 6), ("creates", 7),
                          ("copies", 6), ("flushes", 7), ("renames", 7), ("deletes", 7), ("allocs", 7)))
        print(f"{scale:10} {cells} {'yes' if median(p, 'fingerprints') else 'no':>12}")

    print()
    print("Memory of the patching process (MB; working set = resident, private = committed anonymous):")
    print(f"{'scale':10} {'payload':>8} {'WS before':>9} {'WS peak':>8} {'peak-before':>11}"
          f" {'private before':>14} {'private peak':>12} {'peak-before':>11}")
    for scale in scales:
        p = runs[scale]["patch"]
        wb, wp = median(p, "ws_before") / MB, median(p, "ws_peak_process") / MB
        ws_sampled = median(p, "ws_peak_sampled") / MB
        pb, pp = median(p, "private_before") / MB, median(p, "private_peak_sampled") / MB
        print(f"{scale:10} {median(p, 'payload_bytes') / MB:8.1f} {wb:9.1f} {wp:8.1f} {ws_sampled - wb:11.1f}"
              f" {pb:14.1f} {pp:12.1f} {pp - pb:11.1f}")

    if any("ui" in runs[s] for s in scales):
        print()
        print("Progress window during the run (a third thread sends it a message every 10 ms):")
        print(f"{'scale':10} {'patch s':>8} {'messages':>8} {'slowest ms':>10} {'mean ms':>8} {'>100 ms':>8}")
        for scale in scales:
            for u in runs[scale].get("ui", []):
                print(f"{scale:10} {u['seconds']:8.2f} {int(u['ui_pings']):8d} {u['ui_max_ms']:10.1f}"
                      f" {u['ui_mean_ms']:8.2f} {int(u['ui_slow']):8d}")

    print()
    print("Cost curve (the same 411 archives and entries, the data scaled; marginal = extra seconds per")
    print("extra GB from the scale above, which stays flat if the time grows linearly with the data):")
    print(f"{'scale':10} {'GB':>7} {'patch s':>8} {'marginal s/GB':>13} {'floor+fsync s':>13}"
          f" {'marginal s/GB':>13} {'first run s':>11}")
    previous = None
    for scale in scales:
        k = runs[scale]
        gb = k["bytes"][0]["bytes"] / 1e9
        patch, durable = median(k["patch"], "seconds"), median(k["floor_fsync"], "seconds")
        first = f"{k['first'][0]['seconds']:11.2f}" if k.get("first") else f"{'-':>11}"
        if previous and gb > previous[0]:
            dgb = gb - previous[0]
            marginal = (f"{(patch - previous[1]) / dgb:13.2f}", f"{(durable - previous[2]) / dgb:13.2f}")
        else:
            marginal = (f"{'-':>13}", f"{'-':>13}")
        print(f"{scale:10} {gb:7.3f} {patch:8.2f} {marginal[0]} {durable:13.2f} {marginal[1]} {first}")
        previous = (gb, patch, durable)
    return 0


if __name__ == "__main__":
    sys.exit(main())

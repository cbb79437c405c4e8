#!/usr/bin/env python3
"""Power-loss campaign of the patching run: record every change the real patcher makes to the
disk, build the folder a power cut after a recorded operation could leave, run the patching
run on it, and demand every archive byte for byte as expected with no stray file left.

    powercut_harness.py --exe crash_child.exe --gamegen gamegen --work DIR
                        --wine-prefix P --wine-dllpath D --wine32-gate SCRIPT
                        [--patchbuild patchbuild] [--long]

The recording: crash_child.exe --record writes the seam's change events (create or truncate,
write with offset and bytes, flush, rename with its flags, delete, CopyFileW) of one
uninterrupted run. A CopyFileW is replayed as the creation of its target and writes of the
source's bytes in 64 KiB pieces, so that a cut can fall inside it.

The disk model: every file has the bytes a reader sees and the bytes as at its last flush;
a flush makes that file's data durable, and, as a journaled file system commits its one
metadata log in order, every create, rename and delete made before it; a rename with
MOVEFILE_WRITE_THROUGH is durable (with everything before it) when it returns. For a cut
after operation k, the folder a power cut may leave, in each worst case:
  a      everything written since each file's last flush is lost: the file as at its last
         flush (a file never flushed is empty); creates, renames, deletes kept
  b      lengths kept, but data written since the last flush reads as zeros, except that the
         earliest of those writes (a random number, possibly none, never all) reached the
         disk on their own, as a lazy writer does
  c-lost data kept, but the creates, renames and deletes not yet durable are lost (the old
         names remain, deleted files are back)
  c-kept data kept and every create, rename and delete kept
  d      torn writes: lengths kept, and of every 512-byte sector written since the last flush
         only some persisted (per cut one of: a random choice, the first n of each file's
         sectors, the last n), the others hold what was there at the last flush or zeros
Then a plain run of the patcher on that folder must report nothing, leave every archive
equal to the generator's expected archive and the folder's file list as expected.
Long mode (--long or KSTR_LONG_TESTS=1): at least 50 cut points per model, spread over
copies, rewrites, flushes, renames and deletes; CI mode a handful.
"""
import os
import random
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from crash_harness import Harness, cannot_run_here, parse_args  # noqa: E402  (spawning, data sets and checks)

MODELS = [
    ("a", "(a) unflushed data lost"),
    ("b", "(b) lengths kept, unflushed data zeros"),
    ("c-lost", "(c) undurable rename/delete lost"),
    ("c-kept", "(c) undurable rename/delete kept"),
    ("d", "(d) torn writes (512-byte sectors)"),
]
KINDS = ["copy", "rewrite", "flush", "rename", "delete"]
SECTOR = 512
COPY_PIECE = 0x10000
MOVEFILE_WRITE_THROUGH = 0x8


class Inode:
    def __init__(self, data=b"", durable=None):
        self.now = bytearray(data)
        self.durable = bytes(data) if durable is None else durable
        self.truncated = False  # truncated since the last flush
        self.writes = []        # (offset, bytes) since the last flush, in order


class Disk:
    """Replays primitive operations; cut() gives the folder a power cut leaves."""

    def __init__(self, files):
        self.names = {n: Inode(d) for n, d in files.items()}
        self.durable_names = dict(self.names)

    def apply(self, op):
        kind = op[0]
        if kind == "create":
            ino = self.names.get(op[1])
            if ino is None:
                self.names[op[1]] = Inode(b"", b"")
            else:
                ino.now = bytearray()
                ino.truncated = True
                ino.writes = []
        elif kind == "write":
            _, name, offset, data = op
            ino = self.names[name]
            if len(ino.now) < offset:
                ino.now.extend(bytes(offset - len(ino.now)))
            ino.now[offset:offset + len(data)] = data
            ino.writes.append((offset, data))
        elif kind == "flush":
            ino = self.names[op[1]]
            ino.durable = bytes(ino.now)
            ino.truncated = False
            ino.writes = []
            self.durable_names = dict(self.names)
        elif kind == "rename":
            _, source, target, flags = op
            self.names[target] = self.names.pop(source)
            if flags & MOVEFILE_WRITE_THROUGH:
                self.durable_names = dict(self.names)
        elif kind == "delete":
            del self.names[op[1]]

    @staticmethod
    def base(ino):
        """What the disk holds for the file without its unflushed writes, at its current length."""
        data = bytearray(b"" if ino.truncated else ino.durable)
        length = len(ino.now)
        if len(data) < length:
            data.extend(bytes(length - len(data)))
        del data[length:]
        return data

    def cut(self, model, rng, pattern):
        out = {}
        if model == "c-lost":
            return {n: bytes(ino.now) for n, ino in self.durable_names.items()}
        for name, ino in sorted(self.names.items()):
            if model == "c-kept":
                out[name] = bytes(ino.now)
            elif model == "a":
                out[name] = ino.durable
            elif model == "b":
                data = self.base(ino)
                kept = rng.randrange(len(ino.writes)) if ino.writes else 0
                for i, (offset, piece) in enumerate(ino.writes):
                    end = min(offset + len(piece), len(data))
                    if i < kept:
                        data[offset:end] = piece[:end - offset]
                    else:
                        data[offset:end] = bytes(max(0, end - offset))
                out[name] = bytes(data)
            elif model == "d":
                data = self.base(ino)
                dirty = sorted({s for offset, piece in ino.writes
                                for s in range(offset // SECTOR, (offset + len(piece) + SECTOR - 1) // SECTOR)})
                if pattern == "random":
                    persisted = [s for s in dirty if rng.random() < 0.5]
                else:
                    n = rng.randrange(len(dirty)) if dirty else 0
                    persisted = dirty[:n] if pattern == "first" else dirty[len(dirty) - n:]
                for s in persisted:
                    start, end = s * SECTOR, min((s + 1) * SECTOR, len(data))
                    data[start:end] = ino.now[start:end]
                out[name] = bytes(data)
        return out


class Campaign(Harness):
    def relative(self, game, path):
        prefix = (self.win(game) + "\\").lower()
        if not path.lower().startswith(prefix):
            raise RuntimeError("the run touched a file outside the game folder: " + path)
        return path[len(prefix):].replace("\\", "/")

    def read_journal(self, game, journal):
        """The journal as primitive operations, CopyFileW expanded, each with its kind of cut."""
        with open(journal + ".bin", "rb") as f:
            blob = f.read()
        files = self.read_tree(game + ".orig")
        contents = dict(files)
        ops = []

        def label(name, kind):
            return kind if kind in ("flush", "rename", "delete") else (
                "rewrite" if name.lower().endswith(".arc") else "copy")

        with open(journal, encoding="utf-8") as f:
            lines = [line.rstrip("\n").split("\t") for line in f if line.strip()]
        for fields in lines:
            tag = fields[0]
            if tag == "CREATE":
                name = self.relative(game, fields[1])
                ops.append((("create", name), label(name, "create")))
                contents[name] = b""
            elif tag == "WRITE":
                name = self.relative(game, fields[1])
                offset, length, at = int(fields[2]), int(fields[3]), int(fields[4])
                data = blob[at:at + length]
                ops.append((("write", name, offset, data), label(name, "write")))
                old = bytearray(contents[name])
                old.extend(bytes(max(0, offset - len(old))))
                old[offset:offset + length] = data
                contents[name] = bytes(old)
            elif tag == "FLUSH":
                ops.append((("flush", self.relative(game, fields[1])), "flush"))
            elif tag == "RENAME":
                source, target = self.relative(game, fields[1]), self.relative(game, fields[2])
                ops.append((("rename", source, target, int(fields[3])), "rename"))
                contents[target] = contents.pop(source)
            elif tag == "DELETE":
                name = self.relative(game, fields[1])
                ops.append((("delete", name), "delete"))
                contents.pop(name, None)
            elif tag == "COPY":
                source, target = self.relative(game, fields[1]), self.relative(game, fields[2])
                data = contents[source]
                ops.append((("create", target), "copy"))
                for at in range(0, len(data), COPY_PIECE):
                    ops.append((("write", target, at, data[at:at + COPY_PIECE]), "copy"))
                contents[target] = data
            elif tag != "OPENW":
                raise RuntimeError("unknown journal line: %r" % fields)
        return files, ops

    @staticmethod
    def read_tree(root):
        out = {}
        for r, _, fs in os.walk(root):
            for f in fs:
                path = os.path.join(r, f)
                with open(path, "rb") as h:
                    out[os.path.relpath(path, root).replace(os.sep, "/")] = h.read()
        return out

    @staticmethod
    def write_tree(root, dirs, files):
        shutil.rmtree(root, ignore_errors=True)
        for d in dirs:
            os.makedirs(os.path.join(root, d), exist_ok=True)
        for name, data in files.items():
            path = os.path.join(root, *name.split("/"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as h:
                h.write(data)

    def pick_cuts(self, ops, per_kind, total_min, rng):
        """Cut points (1-based: after operation k), spread over each kind's stretch of the run."""
        chosen = set()
        spare = 0
        for kind in KINDS:
            candidates = [k for k, (_, label) in enumerate(ops, 1) if label == kind]
            want = per_kind.get(kind, 0)
            if len(candidates) < want:
                spare += want - len(candidates)
                want = len(candidates)
            chosen |= set(self.spread(candidates, want, rng))
        # Kinds the protocol does not have give their share to the others.
        rest = [k for k in range(1, len(ops) + 1) if k not in chosen]
        want = max(spare, total_min - len(chosen))
        chosen |= set(self.spread(rest, min(want, len(rest)), rng))
        return sorted(chosen)

    @staticmethod
    def spread(candidates, count, rng):
        if count <= 0 or not candidates:
            return []
        if count >= len(candidates):
            return list(candidates)
        step = len(candidates) / count
        return [candidates[min(int((i + rng.random()) * step), len(candidates) - 1)] for i in range(count)]

    def main(self):
        long_mode = self.args.long or os.environ.get("KSTR_LONG_TESTS") == "1"
        rng = random.Random(20261210)
        os.makedirs(self.work, exist_ok=True)
        data, names = self.generate("small", ["--seed", "21", "--archives", "5", "--bytes", "1500000"])

        # The recorded, uninterrupted run.
        game = self.fresh_game(data)
        original = game + ".orig"
        shutil.rmtree(original, ignore_errors=True)
        shutil.copytree(game, original)
        journal = os.path.join(self.work, "journal.txt")
        log = os.path.join(self.work, "record.log")
        self.run(data, game, ["--record", self.win(journal)], log)
        lost, problems = self.verify(data, names, game, log)
        if lost or problems:
            print("the uninterrupted run itself is wrong:", lost, problems)
            return 1
        files, ops = self.read_journal(game, journal)
        dirs = [os.path.relpath(os.path.join(r, d), original) for r, ds, _ in os.walk(original) for d in ds]
        counts = {kind: sum(1 for _, label in ops if label == kind) for kind in KINDS}
        print("recorded run: %d operations over %d archives (%s)" % (
            len(ops), len(names), ", ".join("%s %d" % (k, counts[k]) for k in KINDS)))

        # The replay must end in the folder the real run left.
        disk = Disk(files)
        for op, _ in ops:
            disk.apply(op)
        if {n: bytes(i.now) for n, i in disk.names.items()} != self.read_tree(game):
            print("the replayed journal does not give the folder the run left")
            return 1

        if long_mode:
            per_kind = {"copy": 12, "rewrite": 16, "flush": 10, "rename": 6, "delete": 8}
            total_min = 52
        else:
            per_kind = {"copy": 1, "rewrite": 2, "flush": 1, "rename": 1, "delete": 1}
            total_min = 6
        cuts = self.pick_cuts(ops, per_kind, total_min, rng)

        tally = {m: [0, 0, 0, 0] for m, _ in MODELS}  # tried, recovered, lost, other problem
        failures = []
        disk = Disk(files)
        done = 0
        run = os.path.join(self.work, "run")
        rerun_log = os.path.join(self.work, "rerun.log")
        for n, k in enumerate(cuts):
            while done < k:
                disk.apply(ops[done][0])
                done += 1
            op, kind = ops[k - 1]
            pattern = ["first", "random", "last"][n % 3]
            desc = "after op %d (%s: %s %s)" % (k, kind, op[0], op[1])
            for model, _ in MODELS:
                state = disk.cut(model, random.Random(k * 7919 + len(model)), pattern)
                self.write_tree(run, dirs, state)
                self.run(data, run, [], rerun_log)
                lost, problems = self.verify(data, names, run, rerun_log)
                row = tally[model]
                row[0] += 1
                if lost:
                    row[2] += 1
                    failures.append("%s, model %s: LOST %s" % (desc, model, ", ".join(lost)))
                elif problems:
                    row[3] += 1
                    failures.append("%s, model %s: %s" % (desc, model, "; ".join(problems)))
                else:
                    row[1] += 1
                print("%3d  %-52s %-7s %s" % (n + 1, desc, model,
                                             "LOST" if lost else ("PROBLEM" if problems else "recovered")),
                      flush=True)

        print()
        print("%-42s %6s %10s %5s %8s" % ("power-cut model", "cuts", "recovered", "lost", "problem"))
        for model, title in MODELS:
            row = tally[model]
            print("%-42s %6d %10d %5d %8d" % (title, row[0], row[1], row[2], row[3]))
        print("cut points by kind: " + ", ".join(
            "%s %d" % (kind, sum(1 for k in cuts if ops[k - 1][1] == kind)) for kind in KINDS))
        for f in failures:
            print("FAIL:", f)
        if failures:
            return 1
        print("POWER CUT TEST PASSED: %d cut points x %d models, nothing lost" % (len(cuts), len(MODELS)))
        shutil.rmtree(self.work, ignore_errors=True)
        return 0


def main():
    args = parse_args("writes fingerprints.bin for the data set")
    if cannot_run_here(args):
        return 77
    return Campaign(args).main()


if __name__ == "__main__":
    sys.exit(main())

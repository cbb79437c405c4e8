#!/usr/bin/env python3
"""Crash consistency of the patching run: kill the Windows process at many points, rerun,
and demand every archive byte for byte as expected with no temporary file left.

    crash_harness.py --exe crash_child.exe --gamegen gamegen --work DIR
                     --wine-prefix P --wine-dllpath D --wine32-gate SCRIPT [--long]

Kill points:
  * seam points: crash_child.exe stops before its K-th file operation (printing STOPPED) and
    is killed there with SIGKILL; K is spread over every phase of a rewrite (the fingerprint
    check, before the copy, after the copy, at truncation, inside the rewrite, before the
    final flush, between close and delete) and over the whole run;
  * timed points: the run is killed while CopyFileW copies the largest archive of a 3-archive
    folder (125 MB in long mode, 29 MB in CI mode), or while the truncated archive is being
    written again, chosen by watching the files' sizes;
  * double kills (long mode): the rerun that recovers is itself killed once more.
After every kill a plain rerun must report no failure and no message, leave every archive
equal to the generator's expected archive and no "*.tmp" or "*.tm~" file anywhere.
Long mode (--long or KSTR_LONG_TESTS=1) tries at least 50 points, CI mode a handful.
"""
import argparse
import filecmp
import os
import random
import shutil
import signal
import subprocess
import sys
import time

PHASES = [
    ("check", "between archives: fingerprint check"),
    ("copy", "between archives: before the copy"),
    ("copied", "copy made, before truncation"),
    ("create", "at truncation"),
    ("rewrite", "truncated, rewriting entries"),
    ("flush", "rewritten, before flush and close"),
    ("delete", "closed, before deleting the copy"),
    ("timed-copy", "timed: inside CopyFileW"),
    ("timed-rewrite", "timed: inside the rewrite"),
    ("double", "killed again during the recovery"),
]


class Harness:
    def __init__(self, args):
        self.args = args
        self.exe = args.exe
        self.env = self.wine_env(args.wine_prefix, args.wine_dllpath)
        self.work = os.path.abspath(args.work)

    @staticmethod
    def wine_env(prefix, dllpath):
        """The environment scripts/wine-env.sh gives every Windows program of the project."""
        env_script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "wine-env.sh")
        out = subprocess.run(["bash", "-c", '. "$0" && wine_env "$1" "$2" && env -0', env_script, prefix, dllpath],
                             check=True, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL).stdout
        return dict(item.split("=", 1) for item in out.decode().split("\0") if "=" in item)

    @staticmethod
    def win(path):
        return "Z:" + path.replace("/", "\\")

    def spawn(self, data, game, extra, log):
        out = open(log, "wb")
        proc = subprocess.Popen(["/usr/bin/wine", self.exe, self.win(data), self.win(game)] + extra,
                                stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                env=self.env)
        out.close()
        return proc

    @staticmethod
    def read_log(log):
        with open(log, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def run(self, data, game, extra, log, timeout=300):
        proc = self.spawn(data, game, extra, log)
        try:
            proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            raise RuntimeError("run timed out: " + log)
        return self.read_log(log)

    @staticmethod
    def kill(proc):
        # Only the process this harness started: under Wine the spawned process is the
        # Windows program itself.
        os.kill(proc.pid, signal.SIGKILL)
        proc.wait()

    def stop_and_kill(self, data, game, k, log, timeout=120):
        """Runs until operation k, kills there; returns the operation kind, or None if the
        run finished before reaching it."""
        proc = self.spawn(data, game, ["--stop-at", str(k)], log)
        deadline = time.time() + timeout
        while time.time() < deadline:
            text = self.read_log(log)
            for line in text.splitlines():
                if line.startswith("STOPPED "):
                    self.kill(proc)
                    return line.split()[2]
            if proc.poll() is not None:
                text = self.read_log(log)
                if "RESULT" in text:
                    return None
                raise RuntimeError("child ended without a result:\n" + text)
            time.sleep(0.01)
        self.kill(proc)
        raise RuntimeError("child never reached operation %d" % k)

    # ---- data sets ----
    def generate(self, name, extra):
        out = os.path.join(self.work, name)
        shutil.rmtree(out, ignore_errors=True)
        subprocess.run([self.args.gamegen, "--out", out, "--quiet"] + extra, check=True)
        if self.args.patchbuild:
            # The installer checks each archive against its fingerprint before the rewrite;
            # so does the test run (its file operations are kill points too).
            subprocess.run([self.args.patchbuild, "fingerprint", "--game", os.path.join(out, "game"),
                            "--patch", os.path.join(out, "patch"), "--quiet"], check=True)
        with open(os.path.join(out, "archives.txt")) as f:
            names = [line.split()[0] for line in f if line.strip()]
        return out, names

    def fresh_game(self, data):
        game = os.path.join(self.work, "run")
        shutil.rmtree(game, ignore_errors=True)
        shutil.copytree(os.path.join(data, "game"), game)
        return game

    @staticmethod
    def is_temporary(name):
        """The temporary copy or its staging name."""
        return name.lower().endswith((".tmp", ".tm~"))

    @staticmethod
    def native(game, name):
        return os.path.join(game, *name.split("\\"))

    # ---- checks ----
    def verify(self, data, names, game, rerun_log):
        """Returns (lost archives, other problems) after the rerun."""
        problems = []
        text = self.read_log(rerun_log)
        result = [l for l in text.splitlines() if l.startswith("RESULT")]
        if not result:
            problems.append("rerun gave no result")
        elif " failed=0 " not in result[0] + " " or " messages=0 " not in result[0] + " ":
            problems.append("rerun: " + result[0])
        problems += [l for l in text.splitlines() if l.startswith("MESSAGE")]
        lost = []
        for name in names:
            got = self.native(game, name)
            want = self.native(os.path.join(data, "expected"), name)
            if not os.path.isfile(got) or not filecmp.cmp(got, want, shallow=False):
                lost.append(name)
        temps = [os.path.join(r, f) for r, _, fs in os.walk(game) for f in fs if self.is_temporary(f)]
        if temps:
            problems.append("temporary files left: " + ", ".join(temps))
        files = sorted(os.path.relpath(os.path.join(r, f), game) for r, _, fs in os.walk(game) for f in fs)
        want_files = sorted(os.path.relpath(os.path.join(r, f), os.path.join(data, "expected"))
                            for r, _, fs in os.walk(os.path.join(data, "expected")) for f in fs)
        if files != want_files:
            problems.append("the game folder's file list changed")
        return lost, problems

    # ---- kill point plans ----
    @staticmethod
    def label_ops(trace):
        """Phase of each operation of a traced run, from its position inside an archive's
        rewrite: the fingerprint check and Copy start an archive, Create truncates it, the
        Flush after Create ends the rewrite, Delete removes the copy."""
        ops = []
        state = "check"
        archive = 0
        for line in trace.splitlines():
            parts = line.split()
            if len(parts) != 3 or parts[0] != "OP":
                continue
            k, kind = int(parts[1]), parts[2]
            if kind == "Copy":
                phase = "copy"
                state = "copied"
            elif kind == "Create":
                phase = "create"
                state = "rewrite"
            elif kind == "Delete":
                phase = "delete"
                state = "check"
            elif kind == "Flush" and state == "rewrite":
                phase = "flush"
                state = "done"
            else:
                phase = state
            ops.append((k, kind, phase, archive))
            if kind == "Delete":
                archive += 1
        return ops

    @staticmethod
    def pick(ops, phase, count, rng):
        """count operations of a phase, one from each of count equal stretches of the run
        (at a random place in its stretch, so that the kinds of operation vary too)."""
        candidates = [op for op in ops if op[2] == phase]
        if not candidates or count <= 0:
            return []
        if count >= len(candidates):
            return candidates
        step = len(candidates) / count
        return [candidates[min(int((i + rng.random()) * step), len(candidates) - 1)] for i in range(count)]

    def main(self):
        long_mode = self.args.long or os.environ.get("KSTR_LONG_TESTS") == "1"
        rng = random.Random(20240611)
        os.makedirs(self.work, exist_ok=True)

        small, small_names = self.generate("small", ["--seed", "11", "--archives", "20"])
        large_bytes = "150000000" if long_mode else "60000000"
        large, large_names = self.generate("large", ["--seed", "12", "--archives", "3", "--bytes", large_bytes])

        # One traced, uninterrupted run: the operation list and a sanity check.
        game = self.fresh_game(small)
        trace_log = os.path.join(self.work, "trace.log")
        self.run(small, game, ["--trace"], trace_log)
        lost, problems = self.verify(small, small_names, game, trace_log)
        if lost or problems:
            print("the uninterrupted run itself is wrong:", lost, problems)
            return 1
        ops = self.label_ops(self.read_log(trace_log))
        checked = "FINGERPRINTS loaded" in self.read_log(trace_log)
        print("traced run: %d file operations over %d archives, fingerprint check %s" % (
            len(ops), len(small_names), "on" if checked else "off"))
        if self.args.patchbuild and not checked:
            print("the fingerprints were not loaded")
            return 1

        if long_mode:
            per_phase = {"check": 4, "copy": 6, "copied": 8, "create": 8, "rewrite": 16, "flush": 6, "delete": 8}
            timed_copy = [0.1, 0.3, 0.5, 0.7, 0.9]
            timed_rewrite = [0.1, 0.3, 0.5, 0.7, 0.9]
            doubles = 6
        else:
            per_phase = {"check": 1, "copy": 1, "copied": 1, "create": 1, "rewrite": 2, "flush": 1, "delete": 1}
            timed_copy = [0.5]
            timed_rewrite = [0.5]
            doubles = 0

        points = []
        for phase, count in per_phase.items():
            points += [("seam", phase, op) for op in self.pick(ops, phase, count, rng)]
        points += [("timed", "timed-copy", f) for f in timed_copy]
        points += [("timed", "timed-rewrite", f) for f in timed_rewrite]
        for op in self.pick(ops, "rewrite", doubles, rng):
            points.append(("double", "double", op))

        tally = {p: [0, 0, 0] for p, _ in PHASES}  # tried, recovered byte-exact, lost
        failures = []
        for n, (how, phase, what) in enumerate(points, 1):
            if how == "timed":
                data, names = large, large_names
            else:
                data, names = small, small_names
            game = self.fresh_game(data)
            log1 = os.path.join(self.work, "kill.log")
            rerun_log = os.path.join(self.work, "rerun.log")
            desc = ""
            if how in ("seam", "double"):
                k, kind, _, archive = what
                stopped = self.stop_and_kill(data, game, k, log1)
                if stopped != kind:
                    failures.append("point %d: expected to stop at %s, stopped at %s" % (k, kind, stopped))
                desc = "op %d (%s, archive %d)" % (k, kind, archive)
                if how == "double":
                    # Stop the rerun inside the recovered archive. The archives before it are
                    # patched and left as they are, with fewer operations than in the traced
                    # run: a traced rerun of a copy of the killed folder numbers them, and the
                    # recovery's truncation (the rerun's first Create) is 14 operations or more
                    # into the recovered archive (the copy's fingerprint and source checks).
                    probe = game + ".probe"
                    shutil.rmtree(probe, ignore_errors=True)
                    shutil.copytree(game, probe)
                    probe_log = os.path.join(self.work, "probe.log")
                    self.run(data, probe, ["--trace"], probe_log)
                    shutil.rmtree(probe, ignore_errors=True)
                    creates = [int(l.split()[1]) for l in self.read_log(probe_log).splitlines()
                               if l.startswith("OP ") and l.split()[2] == "Create"]
                    if not creates:
                        failures.append("%s: the rerun made no rewrite" % desc)
                        continue
                    k2 = creates[0] + rng.randint(-8, 8)
                    stopped2 = self.stop_and_kill(data, game, k2, os.path.join(self.work, "kill2.log"))
                    desc += ", then rerun killed at op %d (%s)" % (k2, stopped2 or "finished first")
            else:
                desc = self.timed_kill(data, names, game, phase, what, log1)
            temps_after_kill = sum(1 for r, _, fs in os.walk(game) for f in fs if self.is_temporary(f))
            self.run(data, game, [], rerun_log)
            lost, problems = self.verify(data, names, game, rerun_log)
            row = tally[phase]
            row[0] += 1
            if lost:
                row[2] += 1
                failures.append("%s: LOST %s" % (desc, ", ".join(lost)))
            elif problems:
                failures.append("%s: %s" % (desc, "; ".join(problems)))
            else:
                row[1] += 1
            print("%3d  %-36s %-60s tmp after kill: %d  %s" % (
                n, dict(PHASES)[phase], desc, temps_after_kill,
                "LOST" if lost else ("PROBLEM" if problems else "recovered")), flush=True)

        print()
        print("%-40s %6s %10s %5s" % ("kill point", "tried", "recovered", "lost"))
        total = [0, 0, 0]
        for phase, title in PHASES:
            row = tally[phase]
            if row[0]:
                print("%-40s %6d %10d %5d" % (title, row[0], row[1], row[2]))
            total = [a + b for a, b in zip(total, row)]
        print("%-40s %6d %10d %5d" % ("total", total[0], total[1], total[2]))
        for f in failures:
            print("FAIL:", f)
        if failures:
            return 1
        print("CRASH TEST PASSED: %d kill points, %d recovered byte-exact, %d lost" % tuple(total))
        # The data sets are large; a failed run keeps them for a look.
        shutil.rmtree(self.work, ignore_errors=True)
        return 0

    def timed_kill(self, data, names, game, phase, fraction, log):
        """Kills the uninterrupted run when the big archive's copy (or its rewrite) has
        reached the given fraction, watching the file sizes."""
        sizes = {n: os.path.getsize(self.native(os.path.join(data, "game"), n)) for n in names}
        big = max(names, key=lambda n: sizes[n])
        archive = self.native(game, big)
        # The copy is made under the staging name and renamed to "tmp" once it is complete.
        temp = archive[:-3] + "tm~"
        original = sizes[big]
        expected = os.path.getsize(self.native(os.path.join(data, "expected"), big))
        proc = self.spawn(data, game, [], log)
        deadline = time.time() + 120
        truncated = False
        seen = ""
        while True:
            if time.time() > deadline or proc.poll() is not None:
                if proc.poll() is None:
                    self.kill(proc)
                raise RuntimeError("timed kill missed its window (%s %.1f)" % (phase, fraction))
            try:
                if phase == "timed-copy":
                    size = os.path.getsize(temp)
                    if size >= fraction * original:
                        self.kill(proc)
                        seen = "copy at %d of %d bytes" % (size, original)
                        break
                else:
                    size = os.path.getsize(archive)
                    if size < original:
                        truncated = True
                    if truncated and size >= fraction * expected:
                        self.kill(proc)
                        seen = "rewrite at %d of %d bytes" % (size, expected)
                        break
            except FileNotFoundError:
                pass
        # Where did the kill land? (The process is dead: these sizes are final.)
        if phase == "timed-copy":
            left = os.path.getsize(temp) if os.path.exists(temp) else -1
            seen += ", copy left at %d bytes%s" % (left, " (inside CopyFileW)" if 0 <= left < original else "")
        else:
            now = os.path.getsize(archive)
            seen += ", archive left at %d bytes%s" % (now, " (mid-rewrite)" if now < expected else "")
        return seen


def parse_args(fingerprints_help):
    """The arguments both harnesses take."""
    p = argparse.ArgumentParser()
    p.add_argument("--exe", required=True)
    p.add_argument("--gamegen", required=True)
    p.add_argument("--work", required=True)
    p.add_argument("--wine-prefix", required=True)
    p.add_argument("--wine-dllpath", default="")
    p.add_argument("--wine32-gate", default="", help="scripts/wine32-gate.sh: whether the program runs here")
    p.add_argument("--patchbuild", default="", help=fingerprints_help)
    p.add_argument("--long", action="store_true")
    return p.parse_args()


def cannot_run_here(args):
    """True (after the gate said why) when this machine's Wine cannot run the program."""
    if not args.wine32_gate:
        return False
    sys.stdout.flush()
    return subprocess.run([args.wine32_gate, args.exe, "the patching run"]).returncode == 77


def main():
    args = parse_args("writes fingerprints.bin for the data sets")
    if cannot_run_here(args):
        return 77
    return Harness(args).main()


if __name__ == "__main__":
    sys.exit(main())

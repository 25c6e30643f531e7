#!/usr/bin/env python3
"""The file layer's promises, checked as invariants over combinations drawn from their dimensions:
who runs, what newgrid.txt is, its folder, the file system, unnamed files or named ones, and the
fault that strikes: a signal at a random moment among them, runs at once on one file, and a
change made to the file or its folder while the grid is written. Each
combination is set up for real, on file systems mounted here, and the
real grid_bench runs as the user the combination names. After each run:

- the name (or a link's target) holds the old bytes or the complete new grid, never anything
  else, but for a file written in place that SIGKILL cut short; of runs at once, the grid of
  one that said it wrote it, never a mix;
- after the next run that succeeds, no hidden file of tessaplan's is left in the folder;
- no user has a right on the new file that the user lacked on the old one, asked as each user;
- a refusal wrote no byte (the disk stand-in notes the first write);
- the exit status and the message say what became of the file;
- a change during the run is answered: rights narrowed meanwhile are not given back, a link put
  in the file's place and what it points to are left as they are, a renamed folder still gets
  the grid;
- with --crs, the grid and the three files that describe it (.prj, .csvt, .vrt, which may be
  links: to the grid, to each other, elsewhere) are one run's four, or all as they were (but
  for those written in place that a failure empties, and a KILL between commits, which leaves
  each new or as it was); names that lead to one file are a wrong command line that changes
  nothing; no byte of a grid is ever in a describing file.

usage: promises_matrix.py GRID_BENCH SLOW_DISK cover [SEED]
       promises_matrix.py GRID_BENCH SLOW_DISK draw COUNT [SEED]

"cover" draws until every pair of values of two dimensions has run at least once, and prints
the coverage; "draw" runs COUNT combinations drawn at random from SEED (printed, so that a
failure replays). With TESSAPLAN_MATRIX_VERBOSE set, every case and how it ended is printed.
Needs root, to mount and to run as other users: anyone else is told so and the run reports
itself skipped (77). Stopped by TERM, INT or HUP, it unmounts and removes what it made; killed
outright (ctest's time limit sends SIGKILL), a detached helper does the same once it has ended.
"""
import itertools
import os
import random
import re
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

DIMENSIONS = {
    "runner": ["root", "owner", "group_writer", "nobody"],
    "target": ["absent", "regular", "link", "foreign_link", "folder_link", "hard_link", "fifo",
               "proc_link", "folder"],
    "mode": ["600", "640", "660", "606", "644"],
    "acl": ["none", "named_user"],
    "xattr": ["none", "user"],
    "folder": ["writable", "read_only", "sticky", "setgid", "default_acl"],
    "fs": ["tmpfs", "ext4", "xfs", "btrfs", "ramfs", "overlay"],
    "unnamed": ["yes", "no"],
    "fault": ["none", "cancel", "kill", "enospc", "fsize", "nofile", "failed_write", "change"],
    # The signal that cancels, how many runs write the file at once (without a fault), and what
    # another program changes while a run writes.
    "signal": ["TERM", "HUP", "INT", "QUIT", "USR1", "USR2", "ALRM", "VTALRM", "PROF", "XCPU",
               "PWR", "STKFLT", "IO", "RTMIN", "RTMAX"],
    "runs": ["1", "2", "3", "30"],
    "change": ["chmod", "setfacl", "link", "folder_renamed"],
    # With --crs (each of runs at once its own system): what the describing names are before.
    "crs": ["no", "yes"],
    "describing": ["none", "old", "link_to_grid", "link_to_each_other", "link_elsewhere"],
}
# What the feasibility of a case depends on; the other dimensions take any of their values.
CONDITIONS = ["target", "fault", "fs", "folder", "change", "crs"]
FILE_TARGETS = ("regular", "link", "foreign_link", "folder_link", "hard_link")
NAMES = list(DIMENSIONS)
USERS = {"owner": "daemon", "group_writer": "bin", "nobody": "nobody"}  # the file is daemon:bin
PRINCIPALS = ["daemon", "bin", "nobody", "sys"]
SMALL = ["0", "400", "0", "200", "1"]  # 80 601 points, 1.7 MB
LONG = ["0", "6000", "0", "1000", "1"]  # 130 MB: still writing when a signal comes
HUGE = ["0", "20000", "0", "1000", "1"]  # 430 MB: more than any disk here holds
OLD = b"the previous grid\n"
OLD_DESCRIBING = b"the previous description\n"
EXTENSIONS = ("prj", "csvt", "vrt")
CODES = ["32615", "2227", "6339", "25832", "7855", "32616", "32617", "32618"]
# Describing names that lead to one file with another of the set.
CLASHING = ("link_to_grid", "link_to_each_other")
FILE_SYSTEM_BYTES = 320 << 20


def normalized(case):
    """The case as it can be set up, with what does not apply as "-", or None when impossible."""
    case = dict(case)
    if case["target"] in ("absent", "fifo", "proc_link", "folder"):
        case.update(mode="-", acl="-", xattr="-")
    if case["fault"] != "cancel":
        case.update(signal="-")
    if case["fault"] != "none":
        case.update(runs="-")
    if case["crs"] == "no":
        case.update(describing="-")
    if case["fault"] != "change":
        case.update(change="-")
    elif case["target"] not in FILE_TARGETS or (
            case["change"] == "link" and case["target"] not in ("regular", "hard_link")):
        return None  # a change to a file, which these targets are not
    if case["fs"] == "ramfs":  # no attributes, no access lists, no size
        if case["folder"] == "default_acl" or case["fault"] == "enospc" or (
                case["change"] == "setfacl"):
            return None
        case.update(acl="-", xattr="-")
    return case


def pairs(case):
    return {((a, case[a]), (b, case[b])) for a, b in itertools.combinations(NAMES, 2)
            if case[a] != "-" and case[b] != "-"}


def all_pairs():
    """Every pair of values some case has: the conditions tried in full, each other dimension
    with any of its values unless the conditions make it "-"."""
    universe = set()
    for values in itertools.product(*(DIMENSIONS[n] for n in CONDITIONS)):
        case = normalized({**{n: v[0] for n, v in DIMENSIONS.items()}, **dict(zip(CONDITIONS, values))})
        if case:
            options = {n: [case[n]] if n in CONDITIONS or case[n] == "-" else DIMENSIONS[n]
                       for n in NAMES}
            for a, b in itertools.combinations(NAMES, 2):
                universe |= {((a, x), (b, y)) for x in options[a] for y in options[b]
                             if x != "-" and y != "-"}
    return universe


def covering_draw(rng):
    """Cases drawn until every possible pair has occurred: of many random candidates, the one
    that adds the most pairs not yet seen."""
    universe = all_pairs()
    seen = set()
    while seen != universe:
        best, best_new = None, -1
        for _ in range(200):
            case = normalized({n: rng.choice(v) for n, v in DIMENSIONS.items()})
            if case:
                new = len(pairs(case) - seen)
                if new > best_new:
                    best, best_new = case, new
        seen |= pairs(best)
        yield best, len(seen), len(universe)


def within(seconds, condition):
    """Polls `condition` until it holds, for at most `seconds`; whether it held."""
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() >= deadline:
            return False
        time.sleep(0.005)
    return True


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, **kwargs)


REMOVE_WHEN_GONE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support",
                                "remove_when_gone.sh")


def remove_when_gone(folder):
    """Has a detached helper unmount and remove folder once this process has ended, however it
    ends: the helper waits for the end of a pipe whose other end only this process holds."""
    read_end, write_end = os.pipe()
    subprocess.run(["setsid", "-f", "bash", REMOVE_WHEN_GONE, folder], stdin=read_end,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    os.close(read_end)
    return write_end


class Machine:
    """The file systems of the draw, mounted once, and what every case shares."""

    def __init__(self, bench, slow_disk):
        self.bench, self.slow_disk = bench, slow_disk
        self.work = tempfile.mkdtemp(prefix="tessaplan-matrix-")
        self.held_until_gone = remove_when_gone(self.work)
        os.chmod(self.work, 0o755)
        self.mounts = []
        self.roots = {}
        for fs in DIMENSIONS["fs"]:
            self.roots[fs] = self.mount(fs)
        self.logs = os.path.join(self.work, "logs")
        os.mkdir(self.logs)
        os.chmod(self.logs, 0o1777)
        self.expected = {}
        for grid in (SMALL, LONG):
            self.grid(grid)
        # Each system's three files, for a grid named newgrid.txt: the same whatever its values.
        self.describing = {}
        for code in CODES:
            folder = tempfile.mkdtemp(dir=self.roots["tmpfs"])
            subprocess.run([self.bench, "--no-sync", f"--crs=EPSG:{code}", "--", "0", "1", "0",
                            "1", "1"], cwd=folder, check=True, capture_output=True)
            self.describing[code] = {}
            for extension in EXTENSIONS:
                with open(os.path.join(folder, "newgrid." + extension), "rb") as made:
                    self.describing[code][extension] = made.read()
            shutil.rmtree(folder)

    def grid(self, grid):
        """The bytes of `grid`, as a plain run writes them, made once."""
        if tuple(grid) not in self.expected:
            folder = tempfile.mkdtemp(dir=self.roots["tmpfs"])
            subprocess.run([self.bench, "--no-sync", "--", *grid], cwd=folder, check=True,
                           capture_output=True)
            with open(os.path.join(folder, "newgrid.txt"), "rb") as made:
                self.expected[tuple(grid)] = made.read()
            shutil.rmtree(folder)
        return self.expected[tuple(grid)]

    def mount(self, fs):
        point = os.path.join(self.work, fs)
        os.mkdir(point)
        if fs in ("tmpfs", "ramfs"):
            options = ["-o", f"size={FILE_SYSTEM_BYTES}"] if fs == "tmpfs" else []
            subprocess.run(["mount", "-t", fs, *options, fs, point], check=True)
        elif fs == "overlay":
            base = os.path.join(self.work, "overlay-parts")
            os.mkdir(base)
            subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={FILE_SYSTEM_BYTES}", "tmpfs",
                            base], check=True)
            self.mounts.append(base)
            for part in ("lower", "upper", "work"):
                os.mkdir(os.path.join(base, part))
            subprocess.run(["mount", "-t", "overlay", "overlay", "-o",
                            f"lowerdir={base}/lower,upperdir={base}/upper,workdir={base}/work",
                            point], check=True)
        else:
            image = point + ".img"
            with open(image, "wb") as made:
                made.truncate(FILE_SYSTEM_BYTES)
            make = {"ext4": ["mkfs.ext4", "-q"], "xfs": ["mkfs.xfs", "-q"],
                    "btrfs": ["mkfs.btrfs", "-q"]}[fs]
            subprocess.run([*make, image], check=True, capture_output=True)
            subprocess.run(["mount", "-o", "loop", image, point], check=True)
        self.mounts.append(point)
        os.chmod(point, 0o755)
        return point

    def close(self):
        for point in reversed(self.mounts):
            subprocess.run(["umount", point], capture_output=True)
        shutil.rmtree(self.work, ignore_errors=True)


def can(user, right, path):
    return run(["runuser", "-u", user, "--", "test", f"-{right}", path]).returncode == 0


def rights(path):
    return {(p, r) for p in PRINCIPALS for r in "rw" if can(p, r, path)}


def hidden_files(folder):
    return [n for n in os.listdir(folder) if n.startswith(".tessaplan-")]


def holds_new_file(pid, folder):
    try:
        for fd in os.listdir(f"/proc/{pid}/fd"):
            target = os.readlink(f"/proc/{pid}/fd/{fd}")
            if target.startswith(folder + "/#") or target.startswith(folder + "/.tessaplan-"):
                return True
    except OSError:
        pass
    return False


class Case:
    def __init__(self, machine, case, number, rng):
        self.m, self.c, self.rng = machine, case, rng
        self.folder = os.path.join(machine.roots[case["fs"]], f"case{number}")
        self.failures = []

    def check(self, what, holds):
        if not holds:
            self.failures.append(what)

    def set_up(self):
        c, folder = self.c, self.folder
        os.mkdir(folder)
        os.chown(folder, 1, 2)
        os.chmod(folder, {"writable": 0o777, "read_only": 0o555, "sticky": 0o1777,
                          "setgid": 0o2777, "default_acl": 0o777}[c["folder"]])
        if c["folder"] == "default_acl":
            subprocess.run(["setfacl", "-d", "-m", "u:nobody:rw,m::rw", folder], check=True)
        # Where the old bytes are, what the run is told to write, and the folder it writes in.
        self.output, self.file, self.where = "newgrid.txt", None, folder
        kind = c["target"]
        if kind in ("regular", "link", "foreign_link", "folder_link", "hard_link"):
            inner = {"link": "kept", "foreign_link": "kept", "folder_link": "real"}.get(kind)
            self.where = os.path.join(folder, inner) if inner else folder
            if inner:
                os.mkdir(self.where)
                os.chown(self.where, 1, 2)
                os.chmod(self.where, os.stat(folder).st_mode & 0o7777)
            self.file = os.path.join(self.where,
                                     "grid.csv" if kind in ("link", "foreign_link") else "newgrid.txt")
            with open(self.file, "wb") as old:
                old.write(OLD)
            os.chown(self.file, 1, 2)
            os.chmod(self.file, int(c["mode"], 8))
            if c["acl"] == "named_user":
                subprocess.run(["setfacl", "-m", "u:sys:r", self.file], check=True)
            if c["xattr"] == "user":
                subprocess.run(["setfattr", "-n", "user.kept", "-v", "1", self.file], check=True)
            if kind in ("link", "foreign_link"):
                # Owned by the folder's owner, or by a user neither the folder's owner nor any
                # runner, whose link the links rule does not follow in a sticky folder.
                os.symlink("kept/grid.csv", os.path.join(folder, "newgrid.txt"))
                owner = 1 if kind == "link" else 3
                os.lchown(os.path.join(folder, "newgrid.txt"), owner, owner)
            elif kind == "folder_link":
                os.symlink("real", os.path.join(folder, "data"))
                os.lchown(os.path.join(folder, "data"), 1, 2)
                self.output = "data/newgrid.txt"
            elif kind == "hard_link":
                os.link(self.file, os.path.join(folder, "other.txt"))
        elif kind == "fifo":
            os.mkfifo(os.path.join(folder, "newgrid.txt"))
        elif kind == "proc_link":
            os.symlink("/proc/self/comm", os.path.join(folder, "newgrid.txt"))
        elif kind == "folder":
            os.mkdir(os.path.join(folder, "newgrid.txt"))
        self.set_up_describing()

    def describing_folder(self):
        """Where the describing files go: beside the name given (a folder link's real folder)."""
        return self.where if self.c["target"] == "folder_link" else self.folder

    def set_up_describing(self):
        kind = self.c["describing"]
        folder = self.describing_folder()
        mode = int(self.c["mode"], 8) if self.c["mode"] != "-" else 0o644
        def old(path):
            with open(path, "wb") as made:
                made.write(OLD_DESCRIBING)
            os.chown(path, 1, 2)
            os.chmod(path, mode)
        def link(to, name):
            os.symlink(to, os.path.join(folder, name))
            os.lchown(os.path.join(folder, name), 1, 2)
        if kind == "old":
            for extension in EXTENSIONS:
                old(os.path.join(folder, "newgrid." + extension))
        elif kind == "link_to_grid":
            link("newgrid.txt", "newgrid.vrt")
        elif kind == "link_to_each_other":
            old(os.path.join(folder, "newgrid.prj"))
            link("newgrid.prj", "newgrid.csvt")
        elif kind == "link_elsewhere":
            elsewhere = os.path.join(folder, "elsewhere")
            os.mkdir(elsewhere)
            os.chown(elsewhere, 1, 2)
            os.chmod(elsewhere, os.stat(folder).st_mode & 0o7777)
            old(os.path.join(elsewhere, "system.prj"))
            link("elsewhere/system.prj", "newgrid.prj")

    def describing_now(self):
        """Each describing file's bytes, through links; None where there is none."""
        if self.c["crs"] == "no":
            return {}
        now = {}
        for extension in EXTENSIONS:
            path = os.path.join(self.describing_folder(), "newgrid." + extension)
            try:
                if stat.S_ISREG(os.stat(path).st_mode):  # not a FIFO the grid's name may be
                    with open(path, "rb") as made:
                        now[extension] = made.read()
                else:
                    now[extension] = b"not a file"
            except OSError:
                now[extension] = None
        return now

    def command(self, grid, fault, code=CODES[0]):
        c = self.c
        environment = {"PATH": "/usr/bin:/bin", "LD_PRELOAD": self.m.slow_disk,
                       "TESSAPLAN_TEST_CALL_LOG": self.log}
        if c["unnamed"] == "no":
            environment["TESSAPLAN_TEST_NO_TMPFILE"] = "1"
        if fault == "failed_write":
            environment["TESSAPLAN_TEST_WRITE_RETURNS_ZERO"] = "1"
        if fault == "change":  # each of its two writes takes long enough to change things
            environment["TESSAPLAN_TEST_WRITE_DELAY_MS"] = "150"
        limit = {"fsize": "ulimit -f 1024; ", "nofile": "ulimit -n 5; "}.get(fault, "")
        crs = [f"--crs=EPSG:{code}"] if c["crs"] == "yes" else []
        program = " ".join(["exec", "env", *[f"{k}={v}" for k, v in environment.items()],
                            self.m.bench, "--no-sync", *crs, "--output", self.output, "--", *grid])
        shell = ["sh", "-c", limit + program]
        if c["runner"] != "root":
            shell = ["runuser", "-u", USERS[c["runner"]], "--", *shell]
        return shell

    def execute(self, fault):
        """Runs grid_bench with `fault`; returns its status and standard error."""
        self.log = os.path.join(self.m.logs, f"{os.path.basename(self.folder)}-{fault}.txt")
        if os.path.exists(self.log):
            os.remove(self.log)
        grid = {"cancel": LONG, "kill": LONG, "enospc": HUGE}.get(fault, SMALL)
        self.grid = grid
        process = subprocess.Popen(self.command(grid, fault), cwd=self.folder,
                                   stderr=subprocess.PIPE, stdout=subprocess.DEVNULL, text=True)
        if fault in ("cancel", "kill"):
            within(20, lambda: process.poll() is not None or
                   any(holds_new_file(p, self.where) for p in self.pids(process.pid)))
            time.sleep(self.rng.uniform(0, 0.2))  # a random moment of the run
            number = getattr(signal, "SIG" + self.c["signal"]) if fault == "cancel" else 9
            for pid in self.pids(process.pid):
                try:
                    if os.readlink(f"/proc/{pid}/exe") == self.m.bench:
                        os.kill(pid, number)
                except OSError:
                    pass
        if fault == "change":
            within(20, lambda: process.poll() is not None or self.began_writing())
            time.sleep(self.rng.uniform(0, 0.3))  # a random moment of the run
            self.change()
        _, error = process.communicate(timeout=120)
        status = process.returncode
        return (128 - status if status < 0 else status), error

    def began_writing(self):
        return os.path.exists(self.log) and "first write" in open(self.log).read()

    def change(self):
        """What another program does to the file or its folder while the run writes."""
        change = self.c["change"]
        if change == "chmod":
            os.chmod(self.file, 0o600)
        elif change == "setfacl":  # no group, no named entry, no others: as chmod, by the list
            subprocess.run(["setfacl", "-m", "m::-,o::-", self.file], check=True)
        elif change == "link":
            with open(os.path.join(self.where, "elsewhere.txt"), "wb") as other:
                other.write(b"elsewhere")
            os.symlink("elsewhere.txt", self.file + ".swap")
            os.rename(self.file + ".swap", self.file)
        elif change == "folder_renamed":
            moved = self.folder + "-moved"
            os.rename(self.folder, moved)
            self.folder, self.where, self.file = (
                None if path is None else moved + path[len(self.folder):]
                for path in (self.folder, self.where, self.file))

    @staticmethod
    def pids(parent):
        """The process and its descendants (runuser, sh and grid_bench)."""
        found, queue = [], [parent]
        while queue:
            pid = queue.pop()
            found.append(pid)
            try:
                with open(f"/proc/{pid}/task/{pid}/children") as children:
                    queue += [int(p) for p in children.read().split()]
            except OSError:
                pass
        return found

    def content(self):
        """The bytes under the name (or its link's target); None where there is no file, or
        where the name is no file to replace (a FIFO, a link into /proc, a folder)."""
        path = self.file or os.path.join(self.folder, "newgrid.txt")
        if self.c["target"] in ("fifo", "proc_link", "folder") or not os.path.isfile(path):
            return None
        with open(path, "rb") as now:
            return now.read()

    def in_place(self):
        """Whether the run writes into the file itself: writable to the runner, its folder not."""
        if self.file is None or self.c["runner"] == "root":
            return False
        user = USERS[self.c["runner"]]
        return can(user, "w", self.file) and not can(user, "w", self.where)

    def execute_at_once(self, count):
        """Runs grid_bench `count` times at once, each with a grid of its own; returns their
        statuses and last lines, and the grids."""
        self.log = os.path.join(self.m.logs, f"{os.path.basename(self.folder)}-at-once.txt")
        # Every line differs between them: a file with lines of two is none of them.
        grids = [["0", "1000", str(k), str(200 + k), "1"] for k in range(count)]
        processes = [subprocess.Popen(self.command(grid, "none", CODES[k % len(CODES)]),
                                      cwd=self.folder, stderr=subprocess.PIPE,
                                      stdout=subprocess.DEVNULL, text=True)
                     for k, grid in enumerate(grids)]
        ended = []
        for process in processes:
            _, error = process.communicate(timeout=120)
            ended.append((process.returncode, (error.strip().splitlines() or [""])[-1]))
        return ended, [self.m.grid(grid) for grid in grids]

    def verify_at_once(self, count):
        old = OLD if self.file else None
        described = self.describing_now()
        ended, grids = self.execute_at_once(count)
        now = self.content()
        if self.c["crs"] == "yes" and self.c["describing"] not in CLASHING:
            whose = [k for k, grid in enumerate(grids) if now == grid]
            self.check("at once: the four files one run's, or all as they were",
                       self.describing_now() == (self.m.describing[CODES[whose[0] % len(CODES)]]
                                                 if whose else described))
        for status, last in ended:
            clash = status == 2 and self.c["describing"] in CLASHING
            self.check(f"at once: status {status} means nothing", status in (0, 1) or clash)
            if status == 1:
                self.check("at once: a run-time error", last.startswith("Run-time error "))
        written = [grid for (status, _), grid in zip(ended, grids) if status == 0]
        if self.c["target"] not in ("fifo", "proc_link", "folder"):
            self.check("at once: the grid of a run that wrote it, or the old bytes",
                       now in written or (now == old and not written))
        return ended[-1]

    def verify(self):
        c = self.c
        before = rights(self.file) if self.file else set()
        in_place = self.in_place()
        described = self.describing_now()
        outcome = self.verify_grid(before, in_place, described)
        for extension, content in self.describing_now().items():
            name = os.path.join(self.describing_folder(), "newgrid." + extension)
            if not os.path.islink(name):  # a link to the grid reads as the grid
                self.check(f"no grid in the .{extension}", content != OLD and not (
                    content or b"").startswith(b'"easting"'))
        return outcome

    def verify_describing(self, status, last, described):
        """After one run with --crs: its three files, or all as they were."""
        c = self.c
        now = self.describing_now()
        new = self.m.describing[CODES[0]]
        if c["describing"] in CLASHING:
            self.check("two names of one file: refused", status != 0)
            if status == 2:
                self.check("two names of one file: said", "lead to one file" in last)
        if status == 0:
            self.check("status 0: the three describing files", now == new)
            if c["describing"] == "link_elsewhere":
                self.check("a link followed, and kept", os.path.islink(
                    os.path.join(self.describing_folder(), "newgrid.prj")))
        elif status == 137:
            self.check("killed: each describing file old or new",
                       all(now[e] in (described[e], new[e]) or (self.in_place() and now[e] == b"")
                           for e in EXTENSIONS))
        else:
            emptied = "now empty" in last
            self.check("refused or cancelled: the describing files as they were",
                       all(now[e] == described[e] or (emptied and now[e] == b"")
                           for e in EXTENSIONS))

    def verify_grid(self, before, in_place, described):
        c = self.c
        if c["runs"] not in ("1", "-"):
            status, last = self.verify_at_once(int(c["runs"]))
            self.check_left_and_rights(status if status == 0 else self.execute("none")[0],
                                       before, in_place)
            return status, last
        status, error = self.execute(c["fault"])
        last = error.strip().splitlines()[-1] if error.strip() else ""
        now = self.content()
        grid = self.m.expected.get(tuple(self.grid))
        old = OLD if self.file else None
        wrote = os.path.exists(self.log) and "first write" in open(self.log).read()
        if status == 2 and c["describing"] in CLASHING:
            self.check("two names of one file: the grid as it was",
                       now == old or c["change"] == "link")
        elif c["fault"] == "change" and not (status == 1 and not wrote):
            self.verify_change(status, last, now, grid)
        elif status == 0:
            self.check("status 0: the complete grid", now == grid)
        elif c["fault"] == "cancel" and status == 128 + getattr(signal, "SIG" + c["signal"]):
            self.check("cancelled: said so", re.fullmatch(
                rf"Cancelled by signal {status - 128}; .* is (as it was|now empty)\.",
                last) is not None)
            self.check("cancelled: old bytes, or empty as said",
                       now == old or (in_place and now == b"" and last.endswith("now empty.")))
        elif status == 1:
            self.check("failed: a run-time error", last.startswith("Run-time error "))
            self.check("failed: old bytes, or empty as said",
                       now == old or (in_place and now == b"" and "now empty" in last) or
                       c["change"] == "link")
            if c["fault"] != "failed_write":
                self.check("refused before the first byte", not wrote)
        elif status == 137 and c["fault"] == "kill":
            self.check("killed: old bytes or the grid",
                       now in (old, grid) or (in_place and now is not None))
        else:
            self.check(f"exit status {status} means nothing", False)
        if c["crs"] == "yes" and c["change"] != "link":
            self.verify_describing(status, last, described)
        name = os.path.join(self.folder, "newgrid.txt")
        kept = {"fifo": lambda: stat.S_ISFIFO(os.lstat(name).st_mode),
                "proc_link": lambda: os.readlink(name) == "/proc/self/comm",
                "folder": lambda: os.path.isdir(name) and not os.path.islink(name)}
        if c["target"] in kept:
            self.check("what has the name stays", kept[c["target"]]())
        if c["target"] == "hard_link" and os.path.exists(os.path.join(self.folder, "other.txt")):
            with open(os.path.join(self.folder, "other.txt"), "rb") as other:
                self.check("the other name keeps the old grid", other.read() == OLD or in_place)
        # The next run, without a fault, removes whatever this one left.
        status, _ = self.execute("none") if c["fault"] != "none" else (status, "")
        if c["change"] in ("chmod", "setfacl"):  # narrowed to the owner's rights meanwhile
            before = {(user, right) for user, right in before if user == "daemon"}
        # A link swapped in leads to a file of its own, not the grid's.
        self.check_left_and_rights(status, before, in_place, rights_too=c["change"] != "link")
        return status, last

    def verify_change(self, status, last, now, grid):
        """A change during the run: the grid is written, but for a link put in the file's
        place, which is left as it is, and what it points to with it."""
        if self.c["change"] != "link":
            self.check("changed meanwhile: the grid written", status == 0 and now == grid)
            return
        name = self.file
        is_swapped_link = os.path.islink(name) and os.readlink(name) == "elsewhere.txt"
        with open(os.path.join(self.where, "elsewhere.txt"), "rb") as other:
            self.check("a link swapped in: what it points to untouched", other.read() == b"elsewhere")
        if status == 0:  # committed before the swap, or just before the rename
            self.check("a link swapped in after the commit, or the grid",
                       is_swapped_link or (not os.path.islink(name) and now == grid))
        else:
            self.check("a link swapped in: refused", status == 1 and re.search(
                r"Run-time error .*(replaced by a link|moved or replaced)", last) is not None)
            self.check("a link swapped in: left as it is", is_swapped_link)

    def check_left_and_rights(self, status, before, in_place, rights_too=True):
        """After a run that succeeded: nothing left beside the file, and no right widened."""
        if status == 0:
            for folder in {self.folder, self.where}:
                self.check(f"nothing left in {os.path.relpath(folder, self.folder)}",
                           hidden_files(folder) == [])
            if self.file and os.path.isfile(self.file) and not in_place and rights_too:
                widened = rights(self.file) - before
                self.check(f"no right widened: {sorted(widened)}", not widened)


def main():
    if len(sys.argv) < 4 or sys.argv[3] not in ("cover", "draw"):
        sys.exit(__doc__)
    bench, slow_disk, how = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), sys.argv[3]
    if os.geteuid() != 0:
        print("Skipped: not root, so nothing can be mounted or run as another user; run as root "
              "(as CI does).")
        sys.exit(77)
    given = sys.argv[5:6] if how == "draw" else sys.argv[4:5]
    seed = int(given[0]) if given else random.randrange(1 << 30)
    rng = random.Random(seed)
    print(f"seed {seed}")
    if how == "cover":
        cases = covering_draw(rng)
    else:
        count = int(sys.argv[4])
        cases = ((case, None, None) for case in (
            normalized({n: rng.choice(v) for n, v in DIMENSIONS.items()}) for _ in range(count * 2))
            if case)
        cases = itertools.islice(cases, count)
    # A stop ends the draw as an error does, through the finally below that unmounts.
    def stop(number, _frame):
        sys.exit(128 + number)
    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(number, stop)
    machine = Machine(bench, slow_disk)
    failed = 0
    ran = 0
    started = time.monotonic()
    try:
        for number, (case, seen, universe) in enumerate(cases):
            one = Case(machine, case, number, rng)
            try:
                one.set_up()
                outcome = one.verify()
                if os.environ.get("TESSAPLAN_MATRIX_VERBOSE"):
                    print(number, " ".join(f"{n}={case[n]}" for n in NAMES), outcome)
            except subprocess.CalledProcessError as error:
                one.failures.append(f"set-up failed: {error}")
            ran += 1
            described = " ".join(f"{n}={case[n]}" for n in NAMES)
            if one.failures:
                failed += 1
                print(f"FAILED #{number}: {described}: {'; '.join(one.failures)}")
            if seen is not None and (seen == universe or number % 20 == 0):
                print(f"{number + 1} cases, {seen} of {universe} pairs of values covered")
            elif seen is None and (number + 1) % 500 == 0:
                print(f"{number + 1} cases, {failed} failed, {time.monotonic() - started:.0f} s",
                      flush=True)
            shutil.rmtree(one.folder, ignore_errors=True)
    finally:
        machine.close()
    print(f"{ran} cases in {time.monotonic() - started:.0f} s, {failed} failed (seed {seed})")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()

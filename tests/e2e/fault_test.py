#!/usr/bin/python3
"""End-to-end fault tests of levora-level on small demo hosts: runs killed with SIGKILL at seeded
random moments, two runs on one machine or on one host from two machine prefixes, a rerun into the
backup folder of a killed run, a backup folder among the host's folders, greetings whose names differ
only in case, a run killed while its gain tool hangs, and a full disk (a small tmpfs).

usage: fault_test.py --bin BUILD/bin (--faults | --full-disk) [--seed N]

Every check is "old or new": after whatever happened, each greeting is byte for byte either its
original or the file a complete run makes of it. --full-disk needs to mount a tmpfs (as root, or in
a user namespace of its own); where that is refused it exits with SKIPPED (77) and says why.
"""

import argparse
import errno
import fcntl
import hashlib
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing written beside the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hostcheck  # noqa: E402

SKIPPED = 77
MACHINE_BUSY = 3  # levora-level's exit status when another run works on the machine
FILES_FAILED = 4  # ... when a recording could not be levelled
# Small and quick: a run lasts a few seconds, long enough to be killed in the middle.
HOST = ("--greetings", "40", "--seconds", "2", "--seed", "7")


class Env:
    def __init__(self, bin_dir, root):
        self.bin = bin_dir
        self.root = root
        home = os.path.join(root, "home")
        os.makedirs(home, exist_ok=True)
        # Nothing of the machine's own environment: no display, no language, no prefix.
        self.env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": home, "LANG": "C.UTF-8"}
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
            if name in os.environ:
                self.env[name] = os.environ[name]

    def start(self, prefix, *args):
        return subprocess.Popen([os.path.join(self.bin, "levora-level"), "--prefix", prefix, *args], env=self.env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)

    def run(self, prefix, *args):
        p = self.start(prefix, *args)
        out, err = p.communicate(timeout=120)
        return p.returncode, out, err


def digests(prefix):
    """{relative path: sha256} of the host's recordings and stream files (the database changes
    with every synchronisation and is left out, and so is the run lock a killed run leaves)."""
    return {k: v for k, v in hostcheck.snapshot(prefix).items()
            if not k.startswith("Data" + os.sep) and k != "levora-run.lock"}


def running(pid):
    """Whether a process runs (a killed one may stay a zombie until its new parent reaps it)."""
    try:
        with open("/proc/%d/stat" % pid) as fh:
            return fh.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def temp_names(prefix):
    """Temporary files of ours anywhere in drive C (what a killed run leaves)."""
    found = []
    for dirpath, _, files in os.walk(hostcheck.drive_c(prefix)):
        found += [os.path.join(dirpath, n) for n in files if n.startswith(".") and ".levora-" in n]
    return found


def lock_free(prefix, timeout):
    """Waits until no process holds the machine's run lock (a killed run's gain tool holds it
    until it ends). True when it became free within the time-out."""
    path = os.path.join(prefix, "levora.lock")
    end = time.monotonic() + timeout
    while True:
        if not os.path.exists(path):
            return True
        with open(path, "rb") as fh:
            try:
                fcntl.flock(fh, fcntl.LOCK_EX | fcntl.LOCK_NB)
                return True
            except OSError as e:
                if e.errno not in (errno.EWOULDBLOCK, errno.EAGAIN):
                    raise
        if time.monotonic() > end:
            return False
        time.sleep(0.02)


def fresh(src, dst):
    shutil.rmtree(dst, ignore_errors=True)
    shutil.copytree(src, dst, symlinks=True)


def is_temp(rel):
    return os.path.basename(rel).startswith(".") and ".levora-" in os.path.basename(rel)


def check_old_or_new(f, what, prefix, original, levelled):
    # A killed run's temporary file is no greeting; the next run removes it (checked there).
    now = {k: v for k, v in digests(prefix).items() if not is_temp(k)}
    f.check(set(now) == set(original), "%s: files came or went: %s" % (what, sorted(set(now) ^ set(original))))
    torn = [k for k, d in now.items() if d not in (original.get(k), levelled.get(k))]
    f.check(not torn, "%s: neither original nor levelled: %s" % (what, torn))
    return now


def wait_for_log_lines(prefix, proc, count, timeout):
    """Waits until the run log holds count levelled files (or the run ended)."""
    log = os.path.join(hostcheck.drive_c(prefix), "Levora.log")
    end = time.monotonic() + timeout
    while proc.poll() is None and time.monotonic() < end:
        try:
            with open(log, "rb") as fh:
                if fh.read().count(b" set to dB ") >= count:
                    return True
        except OSError:
            pass
        time.sleep(0.005)
    return False


def faults(e, f, seed):
    pristine = os.path.join(e.root, "pristine")
    hostcheck.create_host(e.bin, pristine, *HOST)
    original = digests(pristine)
    original_list = hostcheck.expected_list(pristine)

    # What a complete run makes of each file, and how long it takes.
    ref = os.path.join(e.root, "reference")
    fresh(pristine, ref)
    t0 = time.monotonic()
    rc, out, err = e.run(ref, "--no-backup", "--no-registry")
    duration = time.monotonic() - t0
    if not f.check(rc == 0, "reference run: rc %s, %s" % (rc, err)):
        return
    levelled = digests(ref)
    changed = sum(1 for k in original if levelled[k] != original[k])
    f.check(changed >= 10, "reference run changed only %d files" % changed)
    print("reference run: %.2f s, %d of %d files changed" % (duration, changed, len(original)))

    prefix = os.path.join(e.root, "prefix")
    backup_win = "C:\\Saved\\"
    backup_host = os.path.join(hostcheck.drive_c(prefix), "Saved")

    # 1. SIGKILL at random moments (the backup, the file loop, the synchronisation), each on a
    # fresh host; then a rerun that finds what the killed run left.
    rng = random.Random(seed)
    # The killed runs also back up first, so they last longer than the reference run.
    for i, moment in enumerate(sorted(rng.uniform(0.02, 1.5 * duration) for _ in range(6))):
        fresh(pristine, prefix)
        p = e.start(prefix, "--backup-dir", backup_win, "--no-registry")
        time.sleep(moment)
        p.kill()
        p.communicate()
        what = "kill %d at %.2f s" % (i + 1, moment)
        f.check(lock_free(prefix, 20), what + ": the lock stayed taken")
        check_old_or_new(f, what, prefix, original, levelled)
        # A backup file, where there is one, is the original.
        for rel, d in original.items():
            copy = os.path.join(backup_host, rel)
            if rel.startswith(hostcheck.STREAM) and os.path.isfile(copy):
                with open(copy, "rb") as fh:
                    f.check(hashlib.sha256(fh.read()).hexdigest() == d, "%s: backup of %s torn" % (what, rel))
        # The rerun levels what the killed one did not reach; its leftovers are neither levelled
        # nor kept. A kill rarely lands inside a copy, so one leftover of each naming is planted too.
        stream = os.path.join(hostcheck.host_root(prefix), hostcheck.STREAM)
        victim = sorted(n for n in os.listdir(stream) if n.endswith(".wav"))[0]
        tag = "".join(rng.choice("ABCdef0123") for _ in range(6))
        with open(os.path.join(stream, victim), "rb") as fh:
            half = fh.read()
        for name in (".levora-" + tag, "." + victim + ".levora-" + tag):
            with open(os.path.join(stream, name), "wb") as fh:
                fh.write(half[: len(half) // 2])
        # Files levelled before the kill are levelled once more, so only the count is checked.
        shutil.rmtree(backup_host, ignore_errors=True)
        rc, out, err = e.run(prefix, "--no-backup", "--no-registry")
        f.check(rc == 0, "%s: rerun rc %s, %s" % (what, rc, err))
        f.check(not temp_names(prefix), "%s: leftovers after the rerun: %s" % (what, temp_names(prefix)))
        with open(os.path.join(hostcheck.drive_c(prefix), "Levora.log"), "rb") as fh:
            lines = fh.read().count(b" set to dB ")
        f.check(lines == len(original_list), "%s: the rerun levelled %d files, not %d" % (what, lines, len(original_list)))

    # 2. A rerun into the backup folder of a run killed after it had levelled a few files: the
    # originals in the backup survive, and the message names the switch that would replace them.
    fresh(pristine, prefix)
    p = e.start(prefix, "--backup-dir", backup_win, "--no-registry")
    reached = wait_for_log_lines(prefix, p, 3, 60)
    p.kill()
    p.communicate()
    if f.check(reached, "backup rerun: the first run never levelled 3 files"):
        f.check(lock_free(prefix, 20), "backup rerun: the lock stayed taken")
        # The killed run's leftovers may go (checked above); every greeting stays as it was.
        def greetings():
            return {k: v for k, v in digests(prefix).items() if not is_temp(k)}
        before = greetings()
        rc, out, err = e.run(prefix, "--backup-dir", backup_win, "--no-registry")
        f.check(rc == 1 and "--overwrite-backup" in err, "backup rerun: rc %s, %r" % (rc, err))
        f.check(greetings() == before, "backup rerun: the host changed")
        hostcheck.check_backup(f, prefix, backup_host, original)

    # 3. Two runs on one machine: the second is refused at once and changes nothing; the first
    # levels every file exactly once.
    fresh(pristine, prefix)
    first = e.start(prefix, "--no-backup", "--no-registry")
    if f.check(wait_for_log_lines(prefix, first, 1, 60), "two runs: the first run never started"):
        rc, out, err = e.run(prefix, "--no-backup", "--no-registry")
        f.check(rc == MACHINE_BUSY and "another Levora run" in err, "two runs: second rc %s, %r" % (rc, err))
        f.check("Another Levora run is already working on this machine." in out, "two runs: no message: " + out)
        print("two runs: the second was refused with rc %d while the first worked" % rc)
    out, err = first.communicate(timeout=120)
    f.check(first.returncode == 0, "two runs: first rc %s, %s" % (first.returncode, err))
    f.check(digests(prefix) == levelled, "two runs: a file is not the one complete run's result")

    # 4. A nightly run killed while it levels, then the next night's: every file the killed run
    # changed is recorded or already at the target, so the rerun changes none of them again (the
    # file whose tool was running at the kill may be levelled once more).
    for i, files in enumerate((3, 12)):
        fresh(pristine, prefix)
        p = e.start(prefix, "--no-backup", "--no-registry", "--changed-only")
        wait_for_log_lines(prefix, p, files, 60)
        p.kill()
        p.communicate()
        what = "nightly kill %d after %d files" % (i + 1, files)
        f.check(lock_free(prefix, 20), what + ": the lock stayed taken")
        killed = {k: v for k, v in digests(prefix).items() if not is_temp(k)}
        rc, out, err = e.run(prefix, "--no-backup", "--no-registry", "--changed-only")
        f.check(rc == 0, "%s: rerun rc %s, %s" % (what, rc, err))
        after = {k: v for k, v in digests(prefix).items() if not is_temp(k)}
        twice = [k for k, d in killed.items() if d != original.get(k) and after.get(k) != d]
        f.check(len(twice) <= 1, "%s: changed twice: %s" % (what, twice))
        print("%s: %d files changed before the kill, %d of them again by the rerun"
              % (what, sum(1 for k, d in killed.items() if d != original.get(k)), len(twice)))
    two_prefixes(e, f, pristine, prefix, levelled)
    backup_inside_host(e, f, pristine, prefix, original)
    case_twins(e, f, pristine, prefix, original, backup_win, backup_host)
    hung_tool(e, f, pristine, prefix, levelled)


def two_prefixes(e, f, pristine, prefix, levelled):
    """A second machine prefix whose drive C is the first one's: refused while the first works."""
    fresh(pristine, prefix)
    other = os.path.join(e.root, "other")
    fresh(pristine, other)
    shutil.rmtree(hostcheck.drive_c(other))
    os.remove(os.path.join(other, "dosdevices", "c:"))
    os.symlink(hostcheck.drive_c(prefix), os.path.join(other, "dosdevices", "c:"))
    first = e.start(prefix, "--no-backup", "--no-registry")
    if f.check(wait_for_log_lines(prefix, first, 1, 60), "two prefixes: the first run never started"):
        rc, out, err = e.run(other, "--no-backup", "--no-registry")
        f.check(rc == MACHINE_BUSY and "Another Levora run is already working on this machine." in out,
                "two prefixes: second rc %s, %r" % (rc, err))
    out, err = first.communicate(timeout=120)
    f.check(first.returncode == 0, "two prefixes: first rc %s, %s" % (first.returncode, err))
    f.check(digests(prefix) == levelled, "two prefixes: a file is not the one complete run's result")
    shutil.rmtree(other)


def backup_inside_host(e, f, pristine, prefix, original):
    """A backup folder among the host's folders, however spelled, is refused before anything changes."""
    fresh(pristine, prefix)
    root = hostcheck.host_root(prefix)
    link = os.path.join(e.root, "talvio-link")
    os.symlink(root, link)
    stream = os.path.join(root, hostcheck.STREAM)
    for spelling in ("C:\\Talvio", "c:\\TALVIO.\\", "C:/Talvio/Stream Files", "C:\\Talvio\\Localize",
                     "C:\\Saved\\..\\Talvio\\Localize\\DefaultConfiguration", "C:\\Talvio\\Stream Files\\new",
                     os.path.join(link, "Stream Files")):
        rc, out, err = e.run(prefix, "--backup-dir", spelling, "--overwrite-backup", "--no-registry")
        f.check(rc == 2 and "is, holds or lies inside" in err, "backup %s: rc %s, %r" % (spelling, rc, err))
        f.check(digests(prefix) == original and not os.path.exists(os.path.join(stream, "new")),
                "backup %s: the host changed" % spelling)
    os.remove(link)


def case_twins(e, f, pristine, prefix, original, backup_win, backup_host):
    """Two greetings whose names differ only in case: neither is backed up or levelled."""
    fresh(pristine, prefix)
    stream = os.path.join(hostcheck.host_root(prefix), hostcheck.STREAM)
    names = sorted(n for n in os.listdir(stream) if n.endswith(".wav"))
    first = names[0]
    at = next(i for i, c in enumerate(first) if c.isalpha())
    twin = first[:at] + first[at].swapcase() + first[at + 1:]
    shutil.copyfile(os.path.join(stream, names[1]), os.path.join(stream, twin))
    before = {n: hostcheck.snapshot(prefix)[os.path.join(hostcheck.STREAM, n)] for n in (first, twin)}
    rc, out, err = e.run(prefix, "--backup-dir", backup_win, "--no-registry")
    f.check(rc == FILES_FAILED, "case twins: rc %s, %s" % (rc, err))
    with open(os.path.join(hostcheck.drive_c(prefix), "Levora.log"), "rb") as fh:
        lines = fh.read().decode("utf-8", "replace").splitlines()
    both = [l for l in lines if l.startswith("(error)") and first in l and twin in l]
    f.check(len(both) == 2, "case twins: %d error lines name both: %s" % (len(both), both))
    after = hostcheck.snapshot(prefix)
    f.check(all(after[os.path.join(hostcheck.STREAM, n)] == d for n, d in before.items()), "case twins: one changed")
    kept = [n for n in (first, twin) if os.path.exists(os.path.join(backup_host, hostcheck.STREAM, n))]
    f.check(not kept, "case twins: backed up %s" % kept)
    shutil.rmtree(backup_host, ignore_errors=True)


def hung_tool(e, f, pristine, prefix, levelled):
    """A run killed while its gain tool hangs: the rerun stops the orphan and levels every file."""
    fresh(pristine, prefix)
    hung = os.path.join(e.root, "hung-bin")
    os.makedirs(hung)
    for name in os.listdir(e.bin):
        if name == "levora-level":
            shutil.copy2(os.path.join(e.bin, name), hung)
        elif name.startswith("gainfix"):
            with open(os.path.join(hung, name), "w") as fh:
                fh.write("#!/bin/sh\nsleep 600 & wait\n")
            os.chmod(os.path.join(hung, name), 0o755)
        else:
            os.symlink(os.path.join(e.bin, name), os.path.join(hung, name))
    p = subprocess.Popen([os.path.join(hung, "levora-level"), "--prefix", prefix, "--no-backup", "--no-registry"],
                         env=e.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    tools = []
    end = time.monotonic() + 60
    while not tools and time.monotonic() < end and p.poll() is None:
        time.sleep(0.2)  # every job's tool started
        for pid in (int(n) for n in os.listdir("/proc") if n.isdigit()):
            try:
                with open("/proc/%d/cmdline" % pid, "rb") as fh:
                    if (hung + "/gainfix").encode() in fh.read():
                        tools.append(pid)
            except OSError:
                pass
    p.kill()
    p.communicate()
    if not f.check(tools, "hung tool: the tool never started"):
        return
    t0 = time.monotonic()
    rc, out, err = e.run(prefix, "--no-backup", "--no-registry")
    f.check(rc == 0, "hung tool: rerun rc %s, %s" % (rc, err))
    f.check(digests(prefix) == levelled, "hung tool: a file is not the one complete run's result")
    f.check(not any(running(t) for t in tools), "hung tool: an orphan still runs: %s" % tools)
    print("hung tool: the rerun ended after %.1f s" % (time.monotonic() - t0))
    for t in tools:  # nothing of the test is left behind, whatever the outcome
        if running(t):
            os.killpg(t, signal.SIGKILL)
    shutil.rmtree(hung)


def mount_tmpfs(where, size):
    r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s,mode=0755" % size, "tmpfs", where],
                       capture_output=True, text=True)
    return r.returncode == 0, (r.stderr or r.stdout).strip()


def full_disk(e, f):
    disk = os.path.join(e.root, "disk")
    os.makedirs(disk)
    ok, why = mount_tmpfs(disk, "6m")
    if not ok:
        print("SKIPPED: cannot mount a tmpfs here (%s); the full-disk test needs root or user namespaces" % why)
        return SKIPPED
    try:
        prefix = os.path.join(disk, "prefix")
        hostcheck.create_host(e.bin, prefix, *HOST)
        original = digests(prefix)
        ref = os.path.join(e.root, "reference")
        shutil.copytree(prefix, ref, symlinks=True)
        rc, _, err = e.run(ref, "--no-backup", "--no-registry")
        f.check(rc == 0, "reference run: rc %s, %s" % (rc, err))
        levelled = digests(ref)

        def fill(leave):
            st = os.statvfs(disk)
            free = st.f_bavail * st.f_frsize
            with open(os.path.join(disk, "filler%d" % leave), "wb") as fh:
                fh.write(b"\0" * max(0, free - leave))

        # A backup that does not fit: the run ends before leveling, every greeting as it was.
        fill(64 * 1024)
        rc, out, err = e.run(prefix, "--backup-dir", "C:\\Saved\\", "--no-registry")
        f.check(rc == 1 and "Error backing up" in out, "backup on a full disk: rc %s, %s" % (rc, out[-400:]))
        f.check(digests(prefix) == original, "backup on a full disk: the host changed")
        # No room even for one levelled file beside its original: old or new, and nothing left over.
        shutil.rmtree(os.path.join(hostcheck.drive_c(prefix), "Saved"), ignore_errors=True)
        fill(0)
        rc, out, err = e.run(prefix, "--no-backup", "--no-registry")
        # Files that could not be levelled: the documented status 4 (1 when the log could not be written).
        f.check(rc in (1, 4), "leveling on a full disk: rc %s, %s" % (rc, err))
        now = check_old_or_new(f, "leveling on a full disk", prefix, original, levelled)
        f.check(not temp_names(prefix), "full disk: leftovers %s" % temp_names(prefix))
        print("full disk: the backup was refused (rc 1); leveling ended with rc %d, %d of %d files levelled"
              % (rc, sum(1 for k in now if now[k] != original[k]), len(original)))
    finally:
        subprocess.run(["umount", "-l", disk], capture_output=True)
    return 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    mode = ap.add_mutually_exclusive_group(required=True)
    mode.add_argument("--faults", action="store_true")
    mode.add_argument("--full-disk", action="store_true")
    ap.add_argument("--seed", type=int, default=20261207)
    ap.add_argument("--in-namespace", action="store_true", help=argparse.SUPPRESS)
    args = ap.parse_args()
    bin_dir = os.path.abspath(args.bin)

    if args.full_disk and os.geteuid() != 0 and not args.in_namespace:
        # Not root: a user and mount namespace of our own may still mount a tmpfs.
        unshare = [shutil.which("unshare") or "unshare", "--user", "--map-root-user", "--mount"]
        try:
            probe = subprocess.run(unshare + ["true"], capture_output=True, text=True)
        except OSError as err:
            probe = subprocess.CompletedProcess([], 1, "", str(err))
        if probe.returncode != 0:
            print("SKIPPED: not root, and no user namespace for mounting a tmpfs (%s)" % probe.stderr.strip())
            return SKIPPED
        return subprocess.run(unshare + [sys.executable, os.path.abspath(__file__), *sys.argv[1:],
                                         "--in-namespace"]).returncode

    f = hostcheck.Failures()
    root = tempfile.mkdtemp(prefix="levora-faults-")
    try:
        e = Env(bin_dir, root)
        if args.faults:
            faults(e, f, args.seed)
        elif full_disk(e, f) == SKIPPED:
            return SKIPPED
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return 0 if f.report() else 1


if __name__ == "__main__":
    # A test runner that gives up on the test sends SIGTERM: clean up as on a normal end.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(124))
    sys.exit(main())

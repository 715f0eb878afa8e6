#!/usr/bin/python3
"""End-to-end: a leveling run stopped in the middle on a demo host, by Exit in the window (answered
Yes) or by SIGTERM to levora-level. Either way the files being levelled are finished, the log ends
with the stop's warning line, the host's database matches the files and no scratch file is left.
A second signal ends levora-level at once, with no greeting torn.

usage: stop_test.py --bin BUILD/bin (--window | --cli)
"""

import argparse
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing written beside the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hostcheck  # noqa: E402

HOST = ("--greetings", "40", "--seconds", "2", "--seed", "5")
STOPPED = re.compile(r"^\(warning\) The run was stopped by the user after (\d+) of (\d+) files$")
QUESTION = "Stop it after the files being levelled now?"
EXIT_STOPPED, EXIT_KILLED = 5, 6  # levora-level's own exit statuses


def log_lines(prefix):
    with open(os.path.join(hostcheck.drive_c(prefix), "Levora.log"), "rb") as fh:
        return fh.read().decode("utf-8", errors="replace").split("\r\n")


def levelled_count(prefix):
    try:
        return sum(1 for line in log_lines(prefix) if " set to dB " in line)
    except OSError:
        return 0


def wait(what, probe, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        r = probe()
        if r:
            return r
        time.sleep(0.02)
    raise AssertionError("timed out waiting for " + what)


def scratch_files(prefix):
    found = []
    for dirpath, _, files in os.walk(hostcheck.drive_c(prefix)):
        found += [n for n in files if n.lower().startswith("mytempwavfile") or ".levora-" in n]
    return found


def check_stopped(f, what, bin_dir, prefix, rows_before, ticked):
    """The log, the database and the drive after a run stopped on request."""
    lines = [line for line in log_lines(prefix) if line]
    m = STOPPED.match(lines[-1]) if lines else None
    if f.check(m is not None, "%s: the log does not end with the stop line: %s" % (what, lines[-3:])):
        done, total = int(m.group(1)), int(m.group(2))
        f.check(0 < done < total == ticked, "%s: stopped after %d of %d files (%d ticked)" % (what, done, total, ticked))
        # Every file begun is in the log whole: its line and its command line.
        f.check(levelled_count(prefix) == done, "%s: %d files logged, %d begun" % (what, levelled_count(prefix), done))
        print("%s: stopped after %d of %d files" % (what, done, total))
    f.check(not scratch_files(prefix), "%s: scratch files left: %s" % (what, scratch_files(prefix)))
    hostcheck.check_database(f, prefix, rows_before, hostcheck.levels(bin_dir, prefix))


def cli(bin_dir, root, f):
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": os.path.join(root, "home"), "LANG": "C.UTF-8"}
    os.makedirs(env["HOME"])
    for second in (False, True):
        prefix = os.path.join(root, "cli-second" if second else "cli")
        hostcheck.create_host(bin_dir, prefix, *HOST)
        before = hostcheck.levels(bin_dir, prefix)
        rows_before = hostcheck.database_rows(prefix)
        p = subprocess.Popen([os.path.join(bin_dir, "levora-level"), "--prefix", prefix, "--no-backup", "--jobs",
                              "1"], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        try:
            wait("two files levelled", lambda: levelled_count(prefix) >= 2 or p.poll() is not None, 120)
            if second:
                # Two different signals: two of one kind sent together may arrive as one.
                p.send_signal(signal.SIGINT)
            p.send_signal(signal.SIGTERM)
            out, err = p.communicate(timeout=120)
        finally:
            if p.poll() is None:
                p.kill()
                p.wait()
        if second:
            f.check(p.returncode == EXIT_KILLED, "second signal: status %s: %s" % (p.returncode, err))
            # Ended at once: every greeting is still a recording the meter reads.
            after = hostcheck.levels(bin_dir, prefix)
            torn = [k for k, (_, level) in before.items() if level is not None and after.get(k, (k, None))[1] is None]
            f.check(not torn, "second signal: files no longer readable: %s" % torn)
        else:
            f.check(p.returncode == EXIT_STOPPED, "SIGTERM: status %s: %s" % (p.returncode, err))
            check_stopped(f, "SIGTERM", bin_dir, prefix, rows_before, len(hostcheck.expected_list(prefix)))


def window(bin_dir, f):
    from desktop import Desktop
    from window_run_test import Window

    with Desktop() as d:
        prefix = os.path.join(d.root, "prefix")
        hostcheck.create_host(bin_dir, prefix, *HOST)
        rows_before = hostcheck.database_rows(prefix)
        d.enter()
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi, Gio, GLib

        proc = d.launch("levora", [os.path.join(bin_dir, "Levora")], d.app_env(LEVORA_PREFIX=prefix))
        win = Window(Atspi, Gio, GLib, d, proc.pid)
        try:
            main_window = win.wait_for("the main window", lambda: next(
                (w for w in win.top_levels("frame") if w.get_name() == "Levora Level"), None), 60)
            backup = win.find(main_window, "check box", "Save original files  to:")
            win.fire(backup)
            win.wait_for("the backup unticked", lambda: not win.checked(backup), 5)
            # Found before the run: during it the window answers only between files.
            level, leave = (win.find(main_window, "push button", name) for name in ("Levora Level", "Exit"))
            win.fire(level)
            wait("two files levelled", lambda: levelled_count(prefix) >= 2, 120)
            win.fire(leave)
            box = win.wait_for("the question", lambda: next(
                (a for a in win.top_levels("alert") if QUESTION in win.alert_text(a)), None), 30)
            win.fire(win.wait_for("Yes", lambda: win.find(box, "push button", "Yes"), 5))
            proc.wait(timeout=120)
            f.check(proc.returncode == 0, "Exit: status %s" % proc.returncode)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        check_stopped(f, "Exit", bin_dir, prefix, rows_before, len(hostcheck.expected_list(prefix)))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--window", action="store_true")
    ap.add_argument("--cli", action="store_true")
    args = ap.parse_args()
    bin_dir = os.path.abspath(args.bin)
    f = hostcheck.Failures()
    if args.window:
        window(bin_dir, f)
    if args.cli:
        with tempfile.TemporaryDirectory(prefix="levora-stop-") as root:
            cli(bin_dir, root, f)
    return 0 if f.report() else 1


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(124))
    sys.exit(main())

#!/usr/bin/python3
"""End-to-end: the real Levora window on a fresh demo host, driven the way assistive technology
drives it (AT-SPI) on a private virtual desktop. It reads the file list, types a backup folder,
clicks "Levora Level", answers the message boxes, and then checks what the run left on the
machine: the greetings' levels, the run log, the backup, the host database, the registry and the
text viewer's call.

usage: window_run_test.py --bin BUILD/bin [--screenshot PNG] [--keep]
"""

import argparse
import os
import signal
import stat
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing written beside the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hostcheck  # noqa: E402
from desktop import Desktop  # noqa: E402

FINISHED = "Finished.  Press OK to view log file now."
OVERWRITE = "There are greeting and voice name files already stored at the selected backup location."
BACKUP_WIN = "C:\\LevoraBackup"
RUN_TIMEOUT = 300  # seconds: the sanitizer build is slow


class Window:
    """The program's accessible tree, read through AT-SPI."""

    def __init__(self, atspi, gio, glib, desktop, pid):
        self.Atspi = atspi
        self.Gio = gio
        self.GLib = glib
        self.pid = pid
        self.bus = gio.DBusConnection.new_for_address_sync(
            desktop.a11y_bus,
            gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
            None, None)

    def app(self):
        desk = self.Atspi.get_desktop(0)
        for i in range(desk.get_child_count()):
            a = desk.get_child_at_index(i)
            if a is not None and a.get_process_id() == self.pid:
                return a
        return None

    def top_levels(self, role):
        a = self.app()
        out = []
        if a is None:
            return out
        for i in range(a.get_child_count()):
            w = a.get_child_at_index(i)
            if w is not None and w.get_role_name() == role:
                out.append(w)
        return out

    def wait_for(self, what, probe, timeout, interval=0.05):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            r = probe()
            if r:
                return r
            time.sleep(interval)
        raise AssertionError("timed out waiting for " + what)

    def find(self, node, role, name=None, pred=None):
        """Depth first; never walks into tables, lists or combo boxes (thousands of children)."""
        if node is None:
            return None
        r = node.get_role_name()
        if r == role and (name is None or node.get_name() == name) and (pred is None or pred(node)):
            return node
        if r in ("table", "list", "combo box", "tree table"):
            return None
        for i in range(node.get_child_count()):
            found = self.find(node.get_child_at_index(i), role, name, pred)
            if found is not None:
                return found
        return None

    def checked(self, node):
        return node.get_state_set().contains(self.Atspi.StateType.CHECKED)

    def enabled(self, node):
        return node.get_state_set().contains(self.Atspi.StateType.ENABLED)

    def fire(self, node, action=0):
        """Runs an accessible action without waiting for its reply: an action that opens a modal
        box does not answer until the box is closed."""
        self.bus.call(node.app.bus_name, node.path, "org.a11y.atspi.Action", "DoAction",
                      self.GLib.Variant("(i)", (action,)), None, self.Gio.DBusCallFlags.NO_AUTO_START, 5000,
                      None, None, None)
        # Let the message go out now.
        self.bus.flush_sync(None)

    def around(self, *nodes, margin=8):
        """The screen rectangle (x, y, w, h) that holds every node, with a margin."""
        boxes = [n.get_extents(self.Atspi.CoordType.SCREEN) for n in nodes]
        x0 = max(0, min(b.x for b in boxes) - margin)
        y0 = max(0, min(b.y for b in boxes) - margin)
        x1 = max(b.x + b.width for b in boxes) + margin
        y1 = max(b.y + b.height for b in boxes) + margin
        return (x0, y0, x1 - x0, y1 - y0)

    def alert_text(self, alert):
        parts = []
        stack = [alert]
        while stack:
            n = stack.pop()
            if n.get_role_name() == "label" and n.get_name():
                parts.append(n.get_name())
            stack.extend(n.get_child_at_index(i) for i in range(n.get_child_count() - 1, -1, -1))
        return " | ".join(parts)


def read_grid(win, table):
    """[(file name, ticked)] of every row of the file list, through the Table interface."""
    rows = table.get_n_rows()
    cols = table.get_n_columns()
    name_col = None
    for c in range(cols):
        header = table.get_column_header(c)
        if header is not None and header.get_name() == "File Name":
            name_col = c
    assert name_col is not None, "the grid has no 'File Name' column"
    check_col = 1
    out = []
    for r in range(rows):
        out.append((table.get_accessible_at(r, name_col).get_name(),
                    win.checked(table.get_accessible_at(r, check_col))))
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True, help="the build's bin folder (Levora, demohost, gainfix)")
    ap.add_argument("--screenshot", help="write the screen at the run's end here (PNG)")
    ap.add_argument("--sanitized", action="store_true", help="the programs are built with AddressSanitizer")
    ap.add_argument("--keep", action="store_true", help="keep the temporary folder")
    args = ap.parse_args()
    bin_dir = os.path.abspath(args.bin)
    f = hostcheck.Failures()

    with Desktop(keep=args.keep) as d:
        prefix = os.path.join(d.root, "prefix")
        hostcheck.create_host(bin_dir, prefix)
        hostcheck.set_agc(bin_dir, prefix, hostcheck.OFF_LIST_AGC)
        before = hostcheck.levels(bin_dir, prefix)
        originals = hostcheck.snapshot(prefix)
        rows_before = hostcheck.database_rows(prefix)
        # The folder the user would pick (the folder picker lists existing folders).
        backup_host = os.path.join(hostcheck.drive_c(prefix), "LevoraBackup")
        os.makedirs(backup_host)

        record = os.path.join(d.root, "viewer.txt")
        viewer = os.path.join(d.root, "viewer.sh")
        with open(viewer, "w") as fh:
            fh.write("#!/bin/sh\nfor a in \"$@\"; do printf '%%s\\n' \"$a\" >> '%s'; done\n" % record)
        os.chmod(viewer, stat.S_IRWXU)

        d.enter()
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi, Gio, GLib

        env = d.app_env(LEVORA_PREFIX=prefix, LEVORA_TEXT_VIEWER=viewer)
        if args.sanitized:
            # Qt's and the desktop libraries' own allocations kept until exit are not ours to find.
            env["ASAN_OPTIONS"] = "detect_leaks=0"
        t0 = time.monotonic()
        proc = d.launch("levora", [os.path.join(bin_dir, "Levora")], env)
        win = Window(Atspi, Gio, GLib, d, proc.pid)
        try:
            def frame():
                if proc.poll() is not None:
                    raise AssertionError("Levora ended (%s): %s" % (proc.returncode, d.log_of("levora")))
                frames = [w for w in win.top_levels("frame") if w.get_name() == "Levora Level"]
                return frames[0] if frames else None

            main_window = win.wait_for("the frame 'Levora Level'", frame, 60)
            print("window found after %.2f s" % (time.monotonic() - t0))

            # The file list: every greeting, voice name and default greeting, each ticked.
            table = win.wait_for("the file grid", lambda: win.find(main_window, "table"), 10)
            grid = read_grid(win, table)
            listed = {name.lower() for name, _ in grid}
            expected = hostcheck.expected_list(prefix)
            f.check(listed == expected, "grid: rows differ from the host's files: %s" % sorted(listed ^ expected))
            f.check(len(grid) == len(listed), "grid: a file is listed twice")
            f.check(all(t for _, t in grid), "grid: unticked rows: %s" % [n for n, t in grid if not t])
            print("grid: %d rows, all ticked" % len(grid))

            for caption in ("Save original files  to:",
                            "Save above volume options to the registry after applying to existing greetings "
                            "and voice names?  (Recommended)"):
                box = win.find(main_window, "check box", caption)
                f.check(box is not None and win.checked(box), "check box not ticked at start: " + caption)
            target = win.find(main_window, "combo box", "-26")
            f.check(target is not None, "the target field does not show -26")

            # The backup folder, typed into txtBackupTarget (the one editable text of the window).
            field = win.find(main_window, "text", pred=lambda n: "EditableText" in n.get_interfaces())
            assert field is not None, "no backup folder field"
            field.set_text_contents(BACKUP_WIN)
            win.wait_for("the backup folder text", lambda: field.get_text(0, -1) == BACKUP_WIN, 5)

            button = win.find(main_window, "push button", "Levora Level")
            assert button is not None, "no 'Levora Level' button"
            t_run = time.monotonic()
            win.fire(button)

            # Answer every box: the overwrite question with Yes, anything else with OK; the final
            # box is kept open for the screenshot first.
            shown = []
            answered = set()
            deadline = time.monotonic() + RUN_TIMEOUT
            finished = False
            while not finished:
                if time.monotonic() > deadline:
                    raise AssertionError("the run did not finish; boxes: %s" % shown)
                if proc.poll() is not None:
                    raise AssertionError("Levora ended during the run (%s)" % proc.returncode)
                alerts = win.top_levels("alert") + win.top_levels("dialog")
                if not alerts:
                    time.sleep(0.05)
                    continue
                box = alerts[0]
                if box.path in answered:  # the box we answered is still closing
                    time.sleep(0.05)
                    continue
                answered.add(box.path)
                text = win.alert_text(box)
                shown.append((box.get_name(), text))
                if FINISHED in text:
                    finished = True
                    print("run took %.2f s" % (time.monotonic() - t_run))
                    caption = win.find(main_window, "panel", FINISHED)
                    f.check(caption is not None, "the progress frame is not captioned with the final text")
                    # No second start while the run is under way.
                    f.check(not win.enabled(button), "'Levora Level' is enabled during the run")
                    if args.screenshot:
                        time.sleep(0.3)  # let the box paint
                        d.screenshot(args.screenshot, win.around(main_window, box))
                answer = "Yes" if OVERWRITE in text else "OK"
                btn = win.wait_for("button " + answer, lambda: win.find(box, "push button", answer), 5)
                win.fire(btn)

            unexpected = [s for s in shown if FINISHED not in s[1] and OVERWRITE not in s[1]]
            f.check(not unexpected, "unexpected message boxes: %s" % unexpected)
            f.check(all(title == "Levora" for title, _ in shown), "box titles: %s" % [t for t, _ in shown])

            # OK opened the log in the text viewer (our recorder).
            log_host = os.path.join(hostcheck.drive_c(prefix), "Levora.log")
            try:
                got = win.wait_for("the text viewer", lambda: os.path.exists(record) and open(record).read(), 20)
                f.check(os.path.realpath(got.strip()) == os.path.realpath(log_host),
                        "viewer got %r, not the log %s" % (got, log_host))
            except AssertionError as e:
                f.check(False, str(e))

            f.check(win.wait_for("'Levora Level' enabled again", lambda: win.enabled(button), 10),
                    "'Levora Level' stays disabled after the run")

            # Exit ends the program.
            exit_button = win.find(main_window, "push button", "Exit")
            win.fire(exit_button)
            try:
                proc.wait(timeout=30)
                f.check(proc.returncode == 0, "Levora ended with %s" % proc.returncode)
            except subprocess.TimeoutExpired:
                f.check(False, "Exit did not end the program")
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
            err = d.log_of("levora")
            if "ERROR: AddressSanitizer" in err or "runtime error:" in err:
                f.check(False, "sanitizer report:\n" + err[-4000:])

        after = hostcheck.levels(bin_dir, prefix)
        not_audio = [k for k in listed if before.get(k, (k, None))[1] is None]
        reached = hostcheck.check_levels(f, before, after, listed)
        print("levels: %d of %d audio files reached %.0f dBov" % (reached, len(listed) - len(not_audio),
                                                                 hostcheck.TARGET))
        f.check(reached > 0, "no file reached the target")
        hostcheck.check_log(f, prefix, listed, not_audio)
        hostcheck.check_backup(f, prefix, backup_host, originals)
        changed = hostcheck.check_database(f, prefix, rows_before, after)
        print("database: %d rows brought up to date" % changed)
        hostcheck.check_registry(f, prefix, hostcheck.SHOWN_AGC)

    return 0 if f.report() else 1


if __name__ == "__main__":
    # A test runner that gives up on the test sends SIGTERM: clean up as on a normal end.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(124))
    sys.exit(main())

#!/usr/bin/python3
"""End-to-end: levora-level, the command-line front end of the leveling run, on fresh demo hosts.

usage: cli_run_test.py --bin BUILD/bin
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # nothing written beside the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hostcheck  # noqa: E402

FINISHED = "[Levora] Finished.  Press OK to view log file now. -> OK"
OVERWRITE = "[Overwrite existing files?] There are greeting and voice name files already stored"


def run(bin_dir, env, *args):
    p = subprocess.run([os.path.join(bin_dir, "levora-level"), *args], env=env, capture_output=True, text=True,
                       timeout=600)
    return p.returncode, p.stdout, p.stderr


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    args = ap.parse_args()
    bin_dir = os.path.abspath(args.bin)
    f = hostcheck.Failures()

    root = tempfile.mkdtemp(prefix="levora-cli-")
    try:
        home = os.path.join(root, "home")
        os.makedirs(home)
        # Nothing of the machine's own environment: no display, no language, no prefix.
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": home, "LANG": "C.UTF-8"}
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
            if name in os.environ:
                env[name] = os.environ[name]
        prefix = os.path.join(root, "prefix")
        hostcheck.create_host(bin_dir, prefix)
        hostcheck.set_agc(bin_dir, prefix, hostcheck.OFF_LIST_AGC)
        before = hostcheck.levels(bin_dir, prefix)
        originals = hostcheck.snapshot(prefix)
        rows_before = hostcheck.database_rows(prefix)
        listed = hostcheck.expected_list(prefix)
        not_audio = [k for k in listed if before[k][1] is None]
        log_host = os.path.join(hostcheck.drive_c(prefix), "Levora.log")

        # 1. Refused before anything happens: no backup choice given; no machine at the prefix.
        rc, out, err = run(bin_dir, env, "--prefix", prefix)
        f.check(rc == 2 and "--backup-dir" in err, "no backup choice: rc %s, %r" % (rc, err))
        rc, out, err = run(bin_dir, env, "--prefix", os.path.join(root, "nothing"), "--no-backup")
        f.check(rc == 1 and "no machine" in err, "no machine: rc %s, %r" % (rc, err))
        rc, out, err = run(bin_dir, env, "--prefix", prefix, "--no-backup", "--target", "-40")
        f.check(rc != 0, "--target -40 (not an entry of the list) accepted")
        f.check(not os.path.exists(log_host), "a refused run wrote the log")
        f.check(hostcheck.snapshot(prefix) == originals, "a refused run changed the host")

        # 2. The run as the window does it, into a backup folder that does not exist yet. The prefix
        # comes from the environment here.
        rc, out, err = run(bin_dir, dict(env, LEVORA_PREFIX=prefix), "--backup-dir", "C:\\Saved\\Greetings")
        print(out, end="")
        f.check(rc == 0, "run: rc %s, %s" % (rc, err))
        f.check(FINISHED in out, "run: the final box was not shown")
        f.check(("Log:      c:\\Levora.log (%s)" % log_host) in out, "run: the log path is not printed")
        f.check("Leveling: %d of %d files" % (len(listed), len(listed)) in out, "run: progress not shown")
        after = hostcheck.levels(bin_dir, prefix)
        reached = hostcheck.check_levels(f, before, after, listed)
        f.check(reached > 0, "no file reached the target")
        hostcheck.check_log(f, prefix, listed, not_audio)
        backup_host = os.path.join(hostcheck.drive_c(prefix), "Saved", "Greetings")
        hostcheck.check_backup(f, prefix, backup_host, originals)
        hostcheck.check_database(f, prefix, rows_before, after)
        hostcheck.check_registry(f, prefix, hostcheck.SHOWN_AGC)

        # 3. Again into the same backup folder with --overwrite-backup: the overwrite question is
        # answered Yes, and the backup then holds the files as this run found them. Other options,
        # registry untouched.
        levelled = hostcheck.snapshot(prefix)
        hostcheck.set_agc(bin_dir, prefix, hostcheck.OFF_LIST_AGC)
        rc, out, err = run(bin_dir, env, "--prefix", prefix, "--backup-dir", "C:\\Saved\\Greetings", "--target",
                           "-20", "--no-registry", "--overwrite-backup")
        f.check(rc == 0 and OVERWRITE in out, "second run: rc %s, no overwrite question: %s" % (rc, out))
        hostcheck.check_backup(f, prefix, backup_host, levelled)
        hostcheck.check_registry(f, prefix, hostcheck.OFF_LIST_AGC)
        hostcheck.check_log(f, prefix, listed, not_audio, target="-20")
        again = hostcheck.levels(bin_dir, prefix)
        hostcheck.check_levels(f, after, again, listed, target=-20.0)

        # 4. A backup folder given as a folder of this machine goes in as its Windows path (Z:\...).
        host_backup = os.path.join(root, "host backup")
        rc, out, err = run(bin_dir, env, "--prefix", prefix, "--backup-dir", host_backup, "--no-registry")
        f.check(rc == 0 and ("Backup:   Z:" + host_backup.replace("/", "\\") + "\\") in out,
                "host backup folder: rc %s, %s" % (rc, out))
        f.check(os.path.isdir(os.path.join(host_backup, "Stream Files"))
                and os.path.isdir(os.path.join(host_backup, "DefaultConfiguration")), "host backup folder not filled")

        # 5. No backup: the folder is not touched; the run still levels.
        shutil.rmtree(backup_host)
        # With the row times the benchmark reads: one line per row in grid order (each folder as NTFS
        # lists it, by the upper-case form of the names), then the sync.
        times = os.path.join(root, "rows.txt")
        rc, out, err = run(bin_dir, env, "--prefix", prefix, "--no-backup", "--no-registry", "--row-times", times)
        f.check(rc == 0 and not os.path.exists(backup_host), "--no-backup: rc %s, backup made" % rc)
        hostcheck.check_log(f, prefix, listed, not_audio)
        with open(times) as fh:
            rows = [line.rstrip("\n").split("\t") for line in fh]
        f.check([r[1].lower() for r in rows[:-1]] == sorted(listed, key=lambda k: (not k.startswith(
                "c:\\talvio\\stream files"), k.upper())) and rows[-1][1] == "(sync)",
                "--row-times: rows %s" % [r[1] for r in rows])
        f.check(all(float(r[0]) > 0 for r in rows), "--row-times: a row without a time")
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return 0 if f.report() else 1


if __name__ == "__main__":
    # A test runner that gives up on the test sends SIGTERM: clean up as on a normal end.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(124))
    sys.exit(main())

"""What a leveling run must leave on a demo host, checked from outside the program: the greetings'
levels (as `demohost levels` measures them), the run log, the backup folder, the host's SQLite
database and the AGC defaults in the registry."""

import hashlib
import os
import re
import sqlite3
import subprocess

TARGET = -26.0
MAX_CHANGE = 5.0
MINIMUM = -45.0
TOLERANCE = 0.5

ROOT_WIN = "C:\\Talvio"
STREAM = "Stream Files"
DEFAULT_CONFIG = os.path.join("Localize", "DefaultConfiguration")
LOG_HEADER = [
    "*************************************************************",
    "Running Levora version: 1.0.35",
    "Search for '(error)' or '(warning)' to find logged errors and warnings.",
]


class Failures:
    """Collects every failed check, so one run reports all that is wrong."""

    def __init__(self):
        self.items = []

    def check(self, ok, message):
        if not ok:
            self.items.append(message)
        return ok

    def report(self):
        for m in self.items:
            print("FAIL: " + m)
        return not self.items


def drive_c(prefix):
    return os.path.join(prefix, "drive_c")


def host_root(prefix):
    return os.path.join(drive_c(prefix), "Talvio")


def create_host(bin_dir, prefix, *extra):
    subprocess.run([os.path.join(bin_dir, "demohost"), "create", prefix, "--force", *extra], check=True,
                   capture_output=True, text=True)


def levels(bin_dir, prefix):
    """{windows path (lower case): (path, level or None for silent/not audio)} from `demohost levels`."""
    out = subprocess.run([os.path.join(bin_dir, "demohost"), "levels", prefix], check=True, capture_output=True,
                         text=True).stdout.splitlines()
    width = out[0].index("Format")
    rows = {}
    for line in out[1:]:
        path = line[:width].rstrip()
        rest = line[width:].split()
        level = None
        if rest and rest[0] != "(not":
            m = re.search(r"(-?\d+\.\d+|silent)\s+\d+\.\d%$", line)
            if m and m.group(1) != "silent":
                level = float(m.group(1))
        rows[path.lower()] = (path, level)
    return rows


def expected_list(prefix):
    """The file list the window must show, as Windows paths in lower case: every file directly in
    "Stream Files", and the WAV files of the direct sub-folders of the default configuration."""
    root = host_root(prefix)
    out = set()
    stream = os.path.join(root, STREAM)
    for name in os.listdir(stream):
        if os.path.isfile(os.path.join(stream, name)):
            out.add("\\".join([ROOT_WIN, STREAM, name]).lower())
    config = os.path.join(root, DEFAULT_CONFIG)
    for sub in os.listdir(config):
        folder = os.path.join(config, sub)
        if not os.path.isdir(folder):
            continue
        for name in os.listdir(folder):
            if name.lower().endswith(".wav") and os.path.isfile(os.path.join(folder, name)):
                out.add("\\".join([ROOT_WIN, "localize", "defaultconfiguration", sub, name]).lower())
    return out


def snapshot(prefix):
    """{relative host path: sha256} of every file below the host's root."""
    root = host_root(prefix)
    out = {}
    for dirpath, _, files in os.walk(root):
        for name in files:
            full = os.path.join(dirpath, name)
            with open(full, "rb") as f:
                out[os.path.relpath(full, root)] = hashlib.sha256(f.read()).hexdigest()
    return out


def database_rows(prefix):
    db = os.path.join(host_root(prefix), "Data", "talvio.db")
    con = sqlite3.connect("file:" + db + "?mode=ro", uri=True)
    try:
        return {r[0].lower(): r for r in
                con.execute("SELECT path, size, modified, duration, active_level, activity, content_hash "
                            "FROM greetings")}
    finally:
        con.close()


def expected_after(before, target=TARGET):
    """The level a file must have after the run, or None when it must stay as it was."""
    if before is None or before < MINIMUM:
        return None
    change = max(-MAX_CHANGE, min(MAX_CHANGE, target - before))
    return before + change


def check_levels(f, before, after, listed, target=TARGET):
    """Every listed audio file moved toward the target: to it when within the largest change, by
    the largest change otherwise. Returns the number of files that reached the target."""
    reached = 0
    for key in sorted(listed):
        if key not in before:
            f.check(False, "demohost levels does not know " + key)
            continue
        path, b = before[key]
        a = after.get(key, (path, None))[1]
        want = expected_after(b, target)
        if want is None:
            f.check(a == b, "%s: expected unchanged (%s), got %s" % (path, b, a))
            continue
        if not f.check(a is not None and abs(a - want) <= TOLERANCE,
                       "%s: %.2f dBov before, %s after, expected %.2f +-%.1f" % (path, b, a, want, TOLERANCE)):
            continue
        if abs(target - b) <= MAX_CHANGE:
            reached += 1
    return reached


def check_log(f, prefix, listed, not_audio, target="-26"):
    """c:\\Levora.log: the header, then per listed file " set to dB <target>" and the command line;
    error lines only for the files that are not audio."""
    path = os.path.join(drive_c(prefix), "Levora.log")
    if not f.check(os.path.isfile(path), "no c:\\Levora.log"):
        return
    with open(path, "rb") as fh:
        raw = fh.read()
    f.check(b"\r\n" in raw and raw.count(b"\n") == raw.count(b"\r\n"), "the log's lines do not end in CR LF")
    lines = raw.decode("utf-8", errors="replace").split("\r\n")
    for h in LOG_HEADER:
        f.check(h in lines, "log header line missing: " + h)
    tail = " set to dB " + target
    set_lines = [i for i, l in enumerate(lines) if l.endswith(tail)]
    files = [lines[i][: -len(tail)].lower() for i in set_lines]
    f.check(sorted(files) == sorted(listed), "log: the '%s' lines name %d files, the list has %d"
            % (tail, len(files), len(listed)))
    for i in set_lines:
        nxt = lines[i + 1] if i + 1 < len(lines) else ""
        # Each job of a run with several has its own scratch file: c:\mytempwavfile774-2.WAV, ...
        f.check(nxt.startswith("    Used command line=") and "gainfix315 -s \"" in nxt
                and re.search(r" -d c:\\mytempwavfile774(-\d+)?\.WAV -t %s -m -45 -b 8000 -g 5$" % target, nxt),
                "log: no command line after " + lines[i] + ": " + nxt)
    # The gain tool refuses a file that is not audio: error lines come just before that file's two
    # lines, and nowhere else.
    refused = {k.lower() for k in not_audio}
    unexpected = []
    for i, line in enumerate(lines):
        if "(error)" not in line or line.startswith("Search for"):
            continue
        j = i
        while j < len(lines) and "(error)" in lines[j]:
            j += 1
        owner = lines[j][: -len(tail)].lower() if j < len(lines) and lines[j].endswith(tail) else None
        if owner not in refused:
            unexpected.append(line)
    f.check(not unexpected, "log: unexpected error lines: %s" % unexpected)
    for k in refused:
        f.check(any(lines[i].lower() == (k + tail).lower() and i > 0 and "(error)" in lines[i - 1] for i in set_lines),
                "log: no error line for %s, which is not audio" % k)
    warnings = [l for l in lines if "(warning)" in l and not l.startswith("Search for")]
    f.check(not warnings, "log: warning lines: %s" % warnings)


def check_backup(f, prefix, backup_host, before_snapshot):
    """The backup holds every file of "Stream Files" and the default configuration's WAV files
    (with their folders), all as they were before the run."""
    stream = os.path.join(backup_host, "Stream Files")
    config = os.path.join(backup_host, "DefaultConfiguration")
    if not f.check(os.path.isdir(stream), "backup: no 'Stream Files' in " + backup_host):
        return
    f.check(os.path.isdir(config), "backup: no 'DefaultConfiguration' in " + backup_host)
    for rel, digest in before_snapshot.items():
        parts = rel.split(os.sep)
        if parts[0] == STREAM:
            copy = os.path.join(backup_host, rel)
        elif rel.lower().startswith(DEFAULT_CONFIG.lower() + os.sep) and rel.lower().endswith(".wav"):
            copy = os.path.join(config, *parts[2:])
        else:
            continue
        if not f.check(os.path.isfile(copy), "backup: missing " + copy):
            continue
        with open(copy, "rb") as fh:
            f.check(hashlib.sha256(fh.read()).hexdigest() == digest, "backup: %s is not the original" % copy)
    for dirpath, _, files in os.walk(config):
        for name in files:
            f.check(name.lower().endswith(".wav"), "backup: a file that is not WAV: " + os.path.join(dirpath, name))


def check_database(f, prefix, rows_before, after_levels):
    """The sync component's rows match the folder after the run: one per WAV file of "Stream
    Files", with its present size and level."""
    rows = database_rows(prefix)
    stream = os.path.join(host_root(prefix), STREAM)
    wavs = {name for name in os.listdir(stream) if name.lower().endswith(".wav")}
    want = {("\\".join([ROOT_WIN, STREAM, n])).lower() for n in wavs}
    f.check(set(rows) == want, "database: rows %s, files %s" % (sorted(set(rows) ^ want), len(want)))
    changed = 0
    for name in sorted(wavs):
        key = "\\".join([ROOT_WIN, STREAM, name]).lower()
        row = rows.get(key)
        if row is None:
            continue
        f.check(row[1] == os.path.getsize(os.path.join(stream, name)), "database: %s size %s" % (name, row[1]))
        level = after_levels.get(key, (None, None))[1]
        if level is not None:
            f.check(row[4] is not None and abs(row[4] - level) <= 0.05,
                    "database: %s level %s, the file measures %.2f" % (name, row[4], level))
        if key in rows_before and rows_before[key][6] != row[6]:
            changed += 1
    f.check(changed > 0, "database: no row changed by the run")
    return changed


AGC_KEY = "HKLM\\SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization"
# Values that no entry of the option lists matches: the window falls back to -26, -45, 8000 and 5,
# so a run that saves its options must change every one of them.
OFF_LIST_AGC = {"AGCTargetDB": -40, "AGCminimumThreshold": 99, "AGCsampleSize": 8001, "AGCgainThreshold": 50}
SHOWN_AGC = {"AGCTargetDB": -26, "AGCminimumThreshold": 45, "AGCsampleSize": 8000, "AGCgainThreshold": 5}


def set_agc(bin_dir, prefix, values):
    env = dict(os.environ, LEVORA_PREFIX=prefix)
    for name, value in values.items():
        subprocess.run([os.path.join(bin_dir, "levora-reg"), "add", AGC_KEY, "/v", name, "/t", "REG_DWORD", "/d",
                        str(value), "/f"], check=True, capture_output=True, env=env)


def agc_values(prefix):
    """{value name: signed 32-bit number} of the AGC defaults key in system.reg."""
    with open(os.path.join(prefix, "system.reg"), "rb") as fh:
        text = fh.read().decode("utf-8", errors="replace")
    out = {}
    section = None
    for line in text.splitlines():
        if line.startswith("["):
            section = line.strip("[]").lower()
            continue
        m = re.match(r'"([^"]+)"=dword:([0-9a-fA-F]{8})', line)
        if m and section == AGC_KEY.replace("HKLM", "HKEY_LOCAL_MACHINE").lower():
            v = int(m.group(2), 16)
            out[m.group(1)] = v - (1 << 32) if v >= 1 << 31 else v
    return out


def check_registry(f, prefix, expected=SHOWN_AGC):
    """The AGC defaults key holds the expected REG_DWORD values."""
    got = agc_values(prefix)
    for name, value in expected.items():
        f.check(got.get(name) == value, "registry: %s is %s, expected %s" % (name, got.get(name), value))

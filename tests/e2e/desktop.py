"""A private virtual desktop for end-to-end tests: Xvfb, a session bus and the accessibility bus,
all in one temporary folder, all ended by pid when the test ends (or dies: each child gets
PR_SET_PDEATHSIG). Nothing outside the folder is read or written: HOME and the XDG folders point
into it.

Start-up order and the environment rules follow the measured behaviour of Qt 6.4 on Debian 12:
the program must not see AT_SPI_BUS_ADDRESS (it would connect but never register), and this
process must set DISPLAY and DBUS_SESSION_BUS_ADDRESS before its first Atspi call.
"""

import ctypes
import os
import select
import shutil
import signal
import subprocess
import tempfile
import time

_PR_SET_PDEATHSIG = 1
_libc = ctypes.CDLL("libc.so.6", use_errno=True)


def _die_with_parent():
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL, 0, 0, 0)


def _read_line(fd, timeout, what):
    """One line from a pipe written by a child, within timeout seconds."""
    deadline = time.monotonic() + timeout
    data = b""
    while not data.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0:
            raise RuntimeError("timed out waiting for " + what)
        ready, _, _ = select.select([fd], [], [], left)
        if not ready:
            continue
        chunk = os.read(fd, 256)
        if not chunk:
            raise RuntimeError(what + ": the program ended before it answered")
        data += chunk
    return data.decode().strip()


class Desktop:
    """with Desktop() as d: d.env is the environment for programs shown on it."""

    def __init__(self, base=None, keep=False):
        self.root = tempfile.mkdtemp(prefix="levora-e2e-", dir=base)
        self.keep = keep
        self.procs = []  # (name, Popen), in start order
        self.display = None
        self.bus = None
        self.a11y_bus = None
        self.env = None

    # -- start-up

    def _start(self, name, argv, env, **kw):
        log = open(os.path.join(self.root, name + ".log"), "wb")
        p = subprocess.Popen(argv, env=env, stdout=kw.pop("stdout", log), stderr=log, stdin=subprocess.DEVNULL,
                             preexec_fn=_die_with_parent, **kw)
        log.close()
        self.procs.append((name, p))
        return p

    def _base_env(self):
        home = os.path.join(self.root, "home")
        run = os.path.join(self.root, "run")
        for d in (home, run):
            os.makedirs(d, mode=0o700, exist_ok=True)
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": home,
            "XDG_RUNTIME_DIR": run,
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
            "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8",
        }
        return env

    def start(self):
        env = self._base_env()
        # 1. Xvfb picks a free display and writes its number to the pipe.
        r, w = os.pipe()
        self._start("xvfb", ["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                             "-noreset"], env, pass_fds=(w,))
        os.close(w)
        try:
            self.display = ":" + _read_line(r, 20, "Xvfb's display number")
        finally:
            os.close(r)
        env["DISPLAY"] = self.display

        # 2. The session bus, its address written to the pipe.
        r, w = os.pipe()
        self._start("dbus", ["dbus-daemon", "--session", "--nofork", "--nopidfile",
                             "--address=unix:dir=" + env["XDG_RUNTIME_DIR"], "--print-address=" + str(w)],
                    env, pass_fds=(w,))
        os.close(w)
        try:
            self.bus = _read_line(r, 20, "the session bus address")
        finally:
            os.close(r)
        env["DBUS_SESSION_BUS_ADDRESS"] = self.bus

        # 3. The accessibility bus, then its registry with the bus address set.
        self._start("atspi-bus", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately", "--a11y=1"], env)
        self.a11y_bus = self._a11y_address(env)
        reg_env = dict(env, AT_SPI_BUS_ADDRESS=self.a11y_bus)
        self._start("atspi-registry", ["/usr/libexec/at-spi2-registryd", "--use-gnome-session=false"], reg_env)
        self._wait_registry(env)
        self.env = env
        return self

    def _a11y_address(self, env, timeout=20):
        deadline = time.monotonic() + timeout
        last = ""
        while time.monotonic() < deadline:
            p = subprocess.run(["dbus-send", "--session", "--dest=org.a11y.Bus", "--print-reply=literal",
                                "/org/a11y/bus", "org.a11y.Bus.GetAddress"], env=env, capture_output=True,
                               text=True)
            if p.returncode == 0 and p.stdout.strip():
                return p.stdout.strip()
            last = p.stderr.strip()
            time.sleep(0.05)
        raise RuntimeError("the accessibility bus did not start: " + last)

    def _wait_registry(self, env, timeout=20):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            p = subprocess.run(["dbus-send", "--bus=" + self.a11y_bus, "--print-reply", "--dest=org.freedesktop.DBus",
                                "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                                "string:org.a11y.atspi.Registry"], env=env, capture_output=True, text=True)
            if p.returncode == 0 and "true" in p.stdout:
                return
            time.sleep(0.05)
        raise RuntimeError("the accessibility registry did not start")

    def enter(self):
        """Points this process at the desktop: call before the first Atspi call."""
        os.environ["DISPLAY"] = self.display
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = self.bus
        os.environ.pop("AT_SPI_BUS_ADDRESS", None)
        os.environ["XDG_RUNTIME_DIR"] = self.env["XDG_RUNTIME_DIR"]
        os.environ["HOME"] = self.env["HOME"]

    # -- programs on the desktop

    def app_env(self, **extra):
        """Environment for a Qt program that the test drives through accessibility."""
        env = dict(self.env)
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):  # a sanitizer build's settings
            if name in os.environ:
                env[name] = os.environ[name]
        env.update(QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        env.pop("AT_SPI_BUS_ADDRESS", None)
        env.update(extra)
        return env

    def launch(self, name, argv, env):
        return self._start(name, argv, env)

    def screenshot(self, png, crop=None):
        """The screen as PNG (xwd piped to ImageMagick, called by its full path); crop: (x, y, w, h)."""
        xwd = subprocess.run(["xwd", "-root", "-silent", "-display", self.display], capture_output=True,
                             check=True, env=self.env)
        geometry = ["-crop", "%dx%d+%d+%d" % (crop[2], crop[3], crop[0], crop[1]), "+repage"] if crop else []
        subprocess.run(["/usr/bin/convert", "xwd:-", *geometry, png], input=xwd.stdout, check=True, env=self.env)

    def log_of(self, name):
        try:
            with open(os.path.join(self.root, name + ".log"), "rb") as f:
                return f.read().decode(errors="replace")
        except OSError:
            return ""

    # -- shut-down

    def stop(self):
        # Children before parents: last started first.
        for _, p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        self.procs.clear()
        if not self.keep:
            shutil.rmtree(self.root, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
        return False

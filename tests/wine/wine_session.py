"""A Wine session for tests: a virtual display, one prefix, and the registry inside it.

Everything goes through wine-run beside this file, so a test runs programs exactly as the other
suites do. The session keeps its own Xvfb (and so its own wineserver) for its whole life: starting
them once is what keeps a run of many cases short.
"""

import os
import re
import signal
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
WINE_RUN = os.path.join(HERE, "wine-run")

# Every wait has a deadline: nothing here may hang a CI run.
DEFAULT_TIMEOUT = 60


class WineError(RuntimeError):
    pass


def unix_to_wine_path(path):
    """The Z: drive path Wine gives a Unix file."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Display:
    """An Xvfb server of a fixed size, picked by the server itself (-displayfd)."""

    def __init__(self, width=1024, height=768):
        self.width = width
        self.height = height
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
             "%dx%dx24" % (width, height), "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        try:
            number = self._read_number(read_end, deadline=time.monotonic() + 15)
        finally:
            os.close(read_end)
        self.name = ":" + number

    def _read_number(self, fd, deadline):
        import select
        data = b""
        while not data.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or self.process.poll() is not None:
                self.close()
                raise WineError("Xvfb did not start")
            ready, _, _ = select.select([fd], [], [], left)
            if ready:
                chunk = os.read(fd, 64)
                if not chunk:
                    self.close()
                    raise WineError("Xvfb closed its display pipe")
                data += chunk
        return data.decode().strip()

    def close(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=10)


class WineProcess(subprocess.Popen):
    """A wine-run process whose output goes to files, not pipes: the wineserver and the other
    helpers Wine starts inherit them and outlive the process, and a pipe would never close."""

    def __init__(self, args, env):
        self._out = tempfile.TemporaryFile()
        self._err = tempfile.TemporaryFile()
        self._output = None
        super().__init__(args, env=env, stdin=subprocess.DEVNULL, stdout=self._out,
                         stderr=self._err, start_new_session=True)

    def output(self):
        """(stdout, stderr) as bytes, once the process has ended; closes the files."""
        if self._output is None:
            self._output = []
            for file in (self._out, self._err):
                file.seek(0)
                self._output.append(file.read())
                file.close()
        return tuple(self._output)

    def read_stdout(self):
        return self.output()[0]

    def read_stderr(self):
        return self.output()[1]

    def kill_all(self):
        """Kills wine-run and what it started in its session, and reaps it."""
        if self.poll() is None:
            try:
                os.killpg(self.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.wait(timeout=30)
        self.output()


class WineSession:
    """One prefix on one display. Code page: 932 or 1252, per call or for the session."""

    def __init__(self, prefix, acp=932, width=1024, height=768, managed=False):
        self.prefix = os.path.abspath(prefix)
        self.acp = acp
        self.display = Display(width, height)
        self.env = dict(os.environ)
        self.env.update(DISPLAY=self.display.name, UNINST_WINEPREFIX=self.prefix,
                        WINEPREFIX=self.prefix)
        # Let wine-run choose the locale from UNINST_ACP, whatever the caller's own is.
        for name in ("LC_ALL", "LC_CTYPE", "LANG", "LANGUAGE"):
            self.env.pop(name, None)
        self.env["LANG"] = "C.UTF-8"
        try:
            self.run(["--prepare"], timeout=180)
            # A wineserver kept for the session's whole life: a program started while none runs
            # now and then ends without ever showing its dialog.
            subprocess.run(["wineserver", "-p"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30, check=True)
            self.set_managed(managed)
        except BaseException:
            self.display.close()
            raise

    def _env(self, acp):
        env = dict(self.env)
        env["UNINST_ACP"] = str(acp or self.acp)
        return env

    def run(self, args, acp=None, timeout=DEFAULT_TIMEOUT, check=True):
        """Runs `wine-run args...` to its end; returns a CompletedProcess with bytes output."""
        process = self.start(args, acp=acp)
        try:
            process.wait(timeout=timeout)
        except subprocess.TimeoutExpired as error:
            process.kill_all()
            raise WineError("timed out after %ss: wine-run %s" % (timeout, " ".join(args))) \
                from error
        done = subprocess.CompletedProcess(process.args, process.returncode,
                                           process.read_stdout(), process.read_stderr())
        if check and done.returncode != 0:
            raise WineError("wine-run %s exited %d: %s" % (
                " ".join(args), done.returncode, done.stderr.decode(errors="replace")))
        return done

    def start(self, args, acp=None):
        """Starts `wine-run args...`; returns a WineProcess, for the caller to wait on."""
        return WineProcess([WINE_RUN] + list(args), self._env(acp))

    def set_managed(self, managed):
        """Whether Wine hands its windows to a window manager. A virtual display has none, and
        Wine then waits two seconds for one on each window it takes down; unmanaged windows it
        takes down at once. Either way Wine draws their frames itself (see prefix.reg)."""
        self.run(["reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d",
                  "Y" if managed else "N", "/f"])

    def tool(self, args, timeout=DEFAULT_TIMEOUT):
        """Runs an X11 tool (xdotool, xwininfo, import) on the session's display."""
        try:
            return subprocess.run(list(args), env=self.env, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, timeout=timeout, check=True)
        except subprocess.TimeoutExpired as error:
            raise WineError("timed out: %s" % " ".join(args)) from error

    def kill_wine(self):
        """Ends every Wine process of the prefix."""
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)

    def close(self):
        try:
            self.kill_wine()
        finally:
            self.display.close()

    # The registry -------------------------------------------------------------------------------

    def import_reg(self, text):
        """Imports .reg text ("Windows Registry Editor Version 5.00") with regedit. It goes in
        as UTF-16: regedit reads a file without a byte order mark in the ANSI code page, and
        anything Japanese in it would change with the code page of the run."""
        with tempfile.NamedTemporaryFile("w", suffix=".reg", encoding="utf-16-le",
                                         newline="\r\n", delete=False) as file:
            file.write("\ufeff" + text)
            path = file.name
        try:
            self.run(["regedit", "/S", unix_to_wine_path(path)])
        finally:
            os.unlink(path)

    def export(self, key):
        """The subtree at `key` as {key path: {value name: data text}}, read from regedit /E."""
        return self.export_many([key])[key]

    def export_many(self, keys):
        """Exports several subtrees at once, each by its own regedit, side by side."""
        folder = tempfile.mkdtemp(prefix="reg-export-")
        running = []
        try:
            for index, key in enumerate(keys):
                path = os.path.join(folder, "%d.reg" % index)
                running.append((key, path, self.start(
                    ["regedit", "/E", unix_to_wine_path(path), key])))
            trees = {}
            for key, path, process in running:
                try:
                    process.wait(timeout=DEFAULT_TIMEOUT)
                except subprocess.TimeoutExpired as error:
                    process.kill_all()
                    raise WineError("regedit /E %s timed out" % key) from error
                process.output()
                if process.returncode != 0 or not os.path.exists(path):
                    raise WineError("regedit /E %s failed" % key)
                with open(path, "rb") as file:
                    trees[key] = parse_reg(file.read())
            return trees
        finally:
            for name in os.listdir(folder):
                os.unlink(os.path.join(folder, name))
            os.rmdir(folder)


def decode_reg_file(data):
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le")
    if data.startswith(b"\xef\xbb\xbf"):
        return data[3:].decode("utf-8")
    return data.decode("latin-1")


_VALUE = re.compile(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', re.S)


def parse_reg(data):
    """Parses a .reg file (bytes or text) into {key path: {value name: data text}}.

    Value data stay as the file writes them (`"text"`, `dword:00000001`, `hex(1):...`), with
    continuation lines joined, so two exports compare exactly. Keys are as the file spells them.
    """
    text = decode_reg_file(data) if isinstance(data, bytes) else data
    lines = text.replace("\r\n", "\n").split("\n")
    tree = {}
    current = None
    index = 0
    while index < len(lines):
        line = lines[index]
        index += 1
        # Hex data go on over lines that end in a backslash; strings always end in a quote.
        while line.endswith("\\") and not line.endswith('"') and index < len(lines):
            line = line[:-1] + lines[index].lstrip()
            index += 1
        stripped = line.strip()
        if not stripped or stripped.startswith(";") or stripped.startswith("#"):
            continue
        if stripped in ("REGEDIT4", "Windows Registry Editor Version 5.00"):
            continue
        if stripped.startswith("[") and stripped.endswith("]"):
            current = stripped[1:-1]
            tree.setdefault(current, {})
            continue
        match = _VALUE.match(stripped)
        if match is None or current is None:
            raise ValueError("not a .reg line: %r" % line)
        name = match.group(1)
        name = "" if name == "@" else re.sub(r"\\(.)", r"\1", name[1:-1])
        tree[current][name] = match.group(2)
    return tree


def key_roots(keys):
    """The keys of `keys` that have no ancestor among them."""
    lowered = sorted({key.lower(): key for key in keys}.items())
    roots = []
    for low, key in lowered:
        if not any(is_within(low, root.lower()) for root in roots):
            roots.append(key)
    return roots


def is_within(key, root):
    """Whether `key` is `root` or lies under it (registry paths, case-insensitive)."""
    key = key.lower()
    root = root.lower()
    return key == root or key.startswith(root + "\\")

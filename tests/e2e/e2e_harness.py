"""Drives uninst_vorlaxen.exe under Wine the way a person would, and checks what it did.

A test file calls `open_session()` in setUpModule and `close_session()` in tearDownModule: one
display and one prefix serve all its cases. Each case seeds the registry from tests/fixtures
(deleting whatever an earlier case left first), starts the program, watches its dialogs through
dialog_probe.exe, presses keys or clicks with xdotool, and compares the registry afterwards with
the seeded one.

Environment (set by tests/e2e/CMakeLists.txt):
  UNINST_EXE          the program
  UNINST_PROBE        dialog_probe.exe
  UNINST_WINEPREFIX   the prefix shared by the test files
  UNINST_E2E_OUTPUT   where screenshots go
"""

import json
import os
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE, "tests", "wine"))

import wine_session  # noqa: E402
from wine_session import is_within, key_roots, parse_reg  # noqa: E402

FIXTURES = os.path.join(SOURCE, "tests", "fixtures")

HKCR = "HKEY_CLASSES_ROOT"
HKCU = "HKEY_CURRENT_USER"

# What the program removes, each with its whole subtree.
PRODUCT_TREES = [
    HKCR + "\\.vrx",
    HKCR + "\\Vorlaxen.Document",
    HKCR + "\\CLSID\\{7C41E2A9-3D58-4F16-A0B3-95E2D7C64F18}",
    HKCU + "\\Software\\QUELB.\\Vorlaxen",
]
# Removed too, but only when no subkey is left in it.
VENDOR_KEY = HKCU + "\\Software\\QUELB."

# The parts of the registry compared before and after a run: all of HKCR, all of the user's
# software settings.
SNAPSHOT_ROOTS = [HKCR, HKCU + "\\Software"]
# Left out of the comparison: what Wine itself keeps there while programs run.
WINE_VOLATILE = [HKCU + "\\Software\\Wine\\Temporary System Parameters"]

# Fixture sets, imported in order.
VARIANTS = {
    "vorlaxen": ["vorlaxen.reg"],
    "other-product": ["vorlaxen.reg", "other-product.reg"],
    "japanese-names": ["vorlaxen.reg", "japanese-names.reg"],
    "nothing": [],
}

MAIN_TITLE = "Uninstaller for Vorlaxen"
RESULT_TITLE = "結果"
RESULT_TEXT = "完了しました。"
NOTICE = "\r\n".join([
    "------------ Uninstaller for Vorlaxen ------------",
    "",
    "Vorlaxen.exeで使用したレジストリデータを削除します。",
    "",
    "再度Vorlaxen.exeを実行すればレジストリデータは自動的に",
    "再構築されますので、気兼ね無く削除してください(^^)",
    "このプログラムは初期リリースのVorlaxen.exeを含め",
    "全てのVorlaxen.exeをサポートしています。",
    "",
    "「OKボタン」を押すと削除を実行します。",
])
IDOK, IDCANCEL, IDC_NOTICE = 1, 2, 1000

# Window and control styles the checks read.
WS_TABSTOP = 0x00010000
WS_VISIBLE = 0x10000000
ES_MULTILINE = 0x0004
ES_READONLY = 0x0800
BS_DEFPUSHBUTTON = 0x0001

WAIT_DIALOG = 20      # seconds for a dialog to show up
WAIT_EXIT = 20        # seconds for the program to end once told to
WAIT_FOCUS = 10       # seconds for a keystroke to move the focus

_session = None
_baselines = {}


def env_path(name):
    value = os.environ.get(name)
    if not value:
        raise unittest.SkipTest("%s is not set: run these tests through ctest" % name)
    return value


def open_session(acp=932):
    global _session
    prefix = env_path("UNINST_WINEPREFIX")
    env_path("UNINST_EXE")
    env_path("UNINST_PROBE")
    _session = wine_session.WineSession(prefix, acp=acp)
    _baselines.clear()
    return _session


def close_session():
    global _session
    if _session is not None:
        _session.close()
        _session = None


def session():
    if _session is None:
        raise RuntimeError("open_session() first")
    return _session


def output_dir():
    folder = os.environ.get("UNINST_E2E_OUTPUT") or os.path.join(os.getcwd(), "e2e-output")
    os.makedirs(folder, exist_ok=True)
    return folder


# The registry ------------------------------------------------------------------------------------

REG_HEADER = "Windows Registry Editor Version 5.00"


def _fixture_text(name):
    with open(os.path.join(FIXTURES, name), encoding="utf-8") as file:
        return file.read()


def _fixture_body(name):
    """A fixture without its header line."""
    lines = _fixture_text(name).splitlines()
    if not lines or lines[0].strip() != REG_HEADER:
        raise ValueError("%s: does not start with %r" % (name, REG_HEADER))
    return "\n".join(lines[1:]) + "\n"


def _all_fixture_roots():
    keys = []
    for name in sorted(set(sum(VARIANTS.values(), []))):
        keys.extend(parse_reg(_fixture_text(name)))
    return key_roots(keys)


def seed(variant):
    """Deletes every tree any fixture makes, imports the variant's files, in one regedit run."""
    text = REG_HEADER + "\n\n"
    text += "".join("[-%s]\n\n" % root for root in _all_fixture_roots())
    text += "".join(_fixture_body(name) for name in VARIANTS[variant])
    session().import_reg(text)


def snapshot():
    """The compared parts of the registry, merged into one {key: {name: data}}."""
    merged = {}
    for tree in session().export_many(SNAPSHOT_ROOTS).values():
        merged.update(tree)
    return without(merged, WINE_VOLATILE)


def seeded(variant):
    """Seeds the variant and returns the registry as seeded. The first seeding of a variant is
    exported; later ones are checked against that export by the comparison after the run."""
    seed(variant)
    if variant not in _baselines:
        _baselines[variant] = snapshot()
    return _baselines[variant]


def without(tree, roots):
    """`tree` with each of `roots` and everything under them taken out."""
    return {key: values for key, values in tree.items()
            if not any(is_within(key, root) for root in roots)}


def expected_after_removal(before):
    """What a run that presses OK leaves: the product trees gone, and the vendor key too when
    nothing but values is left in it."""
    after = without(before, PRODUCT_TREES)
    vendor_children = [key for key in after
                       if is_within(key, VENDOR_KEY) and key.lower() != VENDOR_KEY.lower()]
    if not vendor_children:
        after = without(after, [VENDOR_KEY])
    return after


def describe_difference(expected, actual):
    """A short account of how two snapshots differ, for a failure message."""
    lines = []
    for key in sorted(set(expected) | set(actual), key=str.lower):
        if key not in actual:
            lines.append("missing key  [%s]" % key)
        elif key not in expected:
            lines.append("extra key    [%s]" % key)
        elif expected[key] != actual[key]:
            for name in sorted(set(expected[key]) | set(actual[key])):
                want = expected[key].get(name)
                got = actual[key].get(name)
                if want != got:
                    lines.append("value [%s] %r: expected %s, found %s" % (key, name, want, got))
    return "\n".join(lines[:40]) + ("\n..." if len(lines) > 40 else "")


# The program and its dialogs --------------------------------------------------------------------

def _decode(hex_text):
    return bytes.fromhex(hex_text).decode("utf-16-le")


def _decode_dialog(dialog):
    if dialog is None:
        return None
    dialog["title"] = _decode(dialog["title"])
    for child in dialog["children"]:
        child["text"] = _decode(child["text"])
    dialog["controls"] = {child["id"]: child for child in dialog["children"]}
    return dialog


def probe(args, acp=None, timeout=wine_session.DEFAULT_TIMEOUT):
    """Runs dialog_probe.exe; returns its JSON output and its exit code."""
    done = session().run([os.environ["UNINST_PROBE"]] + list(args), acp=acp,
                         timeout=timeout, check=False)
    if done.returncode not in (0, 3):
        raise AssertionError("dialog_probe %s exited %d: %s" % (
            " ".join(args), done.returncode, done.stderr.decode(errors="replace")))
    state = json.loads(done.stdout.decode("ascii"))
    for name in ("main", "result"):
        if name in state:
            state[name] = _decode_dialog(state[name])
    return state, done.returncode


def centred(reference, client):
    """Where the program puts a dialog's top-left corner: the reference rect's centre less half
    the dialog's client size, in C's integer division."""
    width = client[2] - client[0]
    height = client[3] - client[1]
    return (int((reference[0] + reference[2] - width) / 2),
            int((reference[1] + reference[3] - height) / 2))


def centre_of(rect):
    return ((rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2)


class Uninstaller:
    """One run of the program, from its start to its exit code."""

    def __init__(self, acp=None):
        self.acp = acp
        self.process = session().start([os.environ["UNINST_EXE"]], acp=acp)
        self.exit_code = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.kill()
        return False

    def state(self):
        return probe(["state"], acp=self.acp)[0]

    def wait_for(self, which):
        """Waits for the main or the result dialog to be visible, then returns the state."""
        deadline = time.monotonic() + WAIT_DIALOG
        while True:
            left = max(1, int((deadline - time.monotonic()) * 1000))
            state, code = probe(["state", which, str(min(left, 2000))], acp=self.acp)
            if code == 0 and state[which] is not None:
                self.wait_keyboard(state[which])
                return state
            if self.process.poll() is not None:
                err = self.process.read_stderr()
                raise AssertionError("the program ended (exit code %d) before its %s dialog "
                                     "showed: %s" % (self.process.returncode, which,
                                                     err.decode(errors="replace")))
            if time.monotonic() > deadline:
                raise AssertionError("no %s dialog within %ss; last state: %s" % (
                    which, WAIT_DIALOG, state))

    def wait_keyboard(self, dialog):
        """Gives the dialog's X11 window the keyboard focus, as a window manager would for a
        new window, and waits until X11 reports it: xdotool's keystrokes go there. Without it
        they would go to whatever window is under the pointer."""
        window = dialog.get("x11_window") or 0
        if not window:
            raise AssertionError("no X11 window for the dialog")
        deadline = time.monotonic() + WAIT_DIALOG
        while time.monotonic() < deadline:
            subprocess.run(["xdotool", "windowfocus", str(window)], env=session().env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10)
            done = subprocess.run(["xdotool", "getwindowfocus"], env=session().env,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                  timeout=10)
            if done.returncode == 0 and done.stdout.strip() == str(window).encode():
                return
            time.sleep(0.05)
        raise AssertionError("X11 focus never reached the dialog's window %d" % window)

    def keys(self, *keys):
        session().tool(["xdotool", "key", "--delay", "30"] + list(keys))

    def click(self, point):
        x, y = point
        session().tool(["xdotool", "mousemove", "--sync", str(x), str(y), "click", "1"])

    def click_control(self, dialog, control_id):
        self.click(centre_of(dialog["controls"][control_id]["rect"]))

    def click_close_box(self, dialog):
        if dialog["close_point"] is None:
            raise AssertionError("the dialog has no close box")
        self.click(dialog["close_point"])

    def focus_after(self, previous):
        """Waits for the focused control of the main dialog to change from `previous`, and
        returns the new one (a keystroke is handled after xdotool returns)."""
        deadline = time.monotonic() + WAIT_FOCUS
        while True:
            main = self.state()["main"]
            focus = main["focus_id"] if main else None
            if focus != previous:
                return focus
            if time.monotonic() > deadline:
                return focus
            time.sleep(0.05)

    def wait_exit(self):
        try:
            self.process.wait(timeout=WAIT_EXIT)
        except subprocess.TimeoutExpired:
            self.kill()
            raise AssertionError("the program did not end within %ss" % WAIT_EXIT)
        self.process.output()
        self.exit_code = self.process.returncode
        return self.exit_code

    def screenshot(self, name, rect=None, margin=12):
        """Saves the screen, or the area around `rect`, as output/<name>.png."""
        path = os.path.join(output_dir(), name + ".png")
        command = ["import", "-window", "root"]
        if rect is not None:
            left = max(0, rect[0] - margin)
            top = max(0, rect[1] - margin)
            command += ["-crop", "%dx%d+%d+%d" % (rect[2] - rect[0] + 2 * margin,
                                                 rect[3] - rect[1] + 2 * margin, left, top),
                        "+repage"]
        session().tool(command + [path])
        return path

    def kill(self):
        if self.process.poll() is None:
            self.process.kill_all()
            # What wine-run started may still hold the prefix's dialogs.
            session().kill_wine()
        self.process.output()


# Actions, by name, for the tables of cases -------------------------------------------------------

def press(*keys):
    return lambda run, dialog: run.keys(*keys)


def click_control(control_id):
    return lambda run, dialog: run.click_control(dialog, control_id)


def click_close_box():
    return lambda run, dialog: run.click_close_box(dialog)


ACTIONS = {
    "Enter": press("Return"),
    "Esc": press("Escape"),
    "Tab Enter": press("Tab", "Return"),
    "Alt+F4": press("alt+F4"),
    "click OK": click_control(IDOK),
    "click Cancel": click_control(IDCANCEL),
    "close box": click_close_box(),
}


class RegistryCase(unittest.TestCase):
    """Base of the test cases: registry comparison with a readable failure."""

    maxDiff = None

    def assertRegistry(self, expected, actual, what):
        if expected != actual:
            self.fail("%s:\n%s" % (what, describe_difference(expected, actual)))

    def check_result_dialog(self, state, acp=932):
        """The result dialog as it should be: owned by the main dialog and centred over it,
        one OK button that is the default, and the completion message."""
        main, result = state["main"], state["result"]
        self.assertIsNotNone(result, "no result dialog")
        self.assertEqual(result["owner"], main["hwnd"], "the result dialog's owner")
        self.assertEqual(tuple(result["window"][:2]), centred(main["window"], result["client"]),
                         "the result dialog's top-left corner; main dialog at %s, result "
                         "client %s" % (main["window"], result["client"]))
        buttons = [c for c in result["children"] if c["class"].lower() == "button"]
        self.assertEqual([(b["id"], b["text"]) for b in buttons], [(IDOK, "OK")])
        self.assertEqual(result["default_id"], IDOK)
        if acp == 932:
            self.assertEqual(result["title"], RESULT_TITLE)
            texts = [c["text"] for c in result["children"] if c["class"].lower() == "static"]
            self.assertEqual(texts, [RESULT_TEXT])

    def check_x11_geometry(self, dialog, tolerance=1):
        """The dialog's X11 window sits where Windows says the window is: Wine draws the frame
        itself on a display without a window manager."""
        window = dialog["x11_window"]
        self.assertTrue(window, "no X11 window for the dialog")
        info = session().tool(["xwininfo", "-id", str(window)]).stdout.decode()
        fields = {}
        for line in info.splitlines():
            name, _, value = line.strip().partition(":")
            fields[name] = value.strip()
        x11 = (int(fields["Absolute upper-left X"]), int(fields["Absolute upper-left Y"]),
               int(fields["Width"]), int(fields["Height"]))
        left, top, right, bottom = dialog["window"]
        for got, want, what in zip(x11, (left, top, right - left, bottom - top),
                                   ("x", "y", "width", "height")):
            self.assertLessEqual(abs(got - want), tolerance,
                                 "X11 %s %d, window rect says %d" % (what, got, want))


def run_through(case, main_action, result_action, acp=932, while_shown=None):
    """One run that goes through both dialogs: `main_action` on the uninstall dialog, then
    `while_shown(run, state)` if given, then `result_action` on the result dialog. Checks the
    result dialog on the way and returns (state with the result dialog up, exit code)."""
    with Uninstaller(acp=acp) as run:
        state = run.wait_for("main")
        ACTIONS[main_action](run, state["main"])
        state = run.wait_for("result")
        case.check_result_dialog(state, acp=acp)
        case.assertFalse(state["main"]["enabled"], "the uninstall dialog is disabled while the "
                         "result shows")
        if while_shown is not None:
            while_shown(run, state)
        ACTIONS[result_action](run, state["result"])
        return state, run.wait_exit()

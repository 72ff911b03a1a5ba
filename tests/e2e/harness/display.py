"""The display, windows and input: finding and reading windows (wintree.exe), clicks and keys
as XTEST events, typed text, and screenshots."""
import ctypes
import json
import os
import re
import shutil
import subprocess
import tempfile
import time

from .base import HarnessError, WaitUntil
from .wine import Helper, Wine, WindowsPath, _WineEnvironment


def Xdotool(*args, check=True):
    # A UTF-8 locale, so that `type` takes characters beyond ASCII in any caller's locale.
    env = dict(os.environ, LC_ALL="C.UTF-8")
    result = subprocess.run(["xdotool"] + [str(a) for a in args], env=env,
                            stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=20)
    if check and result.returncode != 0:
        raise HarnessError("xdotool %s failed: %r" % (args, result.stderr))
    return result.stdout.decode()


def FindWindows(caption):
    """X window ids of the visible top-level windows whose name is exactly `caption`."""
    output = Xdotool("search", "--onlyvisible", "--name", "^%s$" % re.escape(caption),
                     check=False)
    return [int(w) for w in output.split()]


def WaitForWindow(caption, timeout=60.0, env=None):
    """Waits until a visible window named `caption` exists and Wine knows it by that caption,
    and returns its description (see Inspect; `env` as there)."""
    def Found():
        if not FindWindows(caption):
            return None
        info = Inspect(caption, env)
        return info if info and info["window"]["visible"] else None
    return WaitUntil(Found, timeout, interval=0.1, what="window %r" % caption)


def WaitForNoWindow(caption, timeout=60.0):
    WaitUntil(lambda: not FindWindows(caption), timeout, interval=0.1,
              what="window %r to go" % caption)


def Inspect(caption, env=None):
    """The live window with that caption and its descendants, read from Wine by wintree.exe,
    or None when there is none. A dict: {"focus": hwnd, "active": hwnd, "respondsMs": n,
    "window": W}; respondsMs is how long the window's thread took to answer a sent WM_NULL,
    or -1 when it did not answer within 1000 ms (a hung window). W
    has "hwnd", "class", "text" (str; .encode('latin-1') gives the ANSI bytes), "rect"
    [left, top, width, height] on screen, "client" [left, top, width, height] (client
    origin on screen), "style", "exstyle" (signed 32-bit), "visible", "enabled",
    "focused", "checked" (BM_GETCHECK for Button windows, else None) and "children"
    (a list of W in Z order, which is creation order unless a window was moved). `env`
    (LANG and LC_ALL) gives the inspector the program's code page, in which the caption is
    found and the texts come."""
    result = Wine([Helper("wintree"), caption], env=env, check=False, timeout=30)
    if result.returncode != 0:
        return None
    return json.loads(result.stdout.decode("ascii"))


class PreparedInspect:
    """An Inspect(caption) whose program starts now and looks when Take() is called: a slow
    (emulated) Wine takes longer to start a program than some states last, such as the
    applet's wait for the server."""

    def __init__(self, caption):
        self._folder = tempfile.mkdtemp(prefix="exitpoll-inspect-")
        self._trigger = os.path.join(self._folder, "look")
        self._process = subprocess.Popen(
            ["wine", Helper("wintree"), caption, WindowsPath(self._trigger)],
            env=_WineEnvironment(None), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL)
        ready = self._process.stdout.readline()  # ends at the latest with the program
        if ready.strip() != b"ready":
            self.Close()
            raise HarnessError("wintree did not start: %r" % ready)

    def Take(self, timeout=60.0):
        """Looks now; returns what Inspect would, or None when there is no such window."""
        open(self._trigger, "w").close()
        try:
            out, _ = self._process.communicate(timeout=timeout)
        finally:
            self.Close()
        return json.loads(out.decode("ascii")) if self._process.returncode == 0 else None

    def Close(self):
        if self._process.poll() is None:
            self._process.kill()
            self._process.wait()
        shutil.rmtree(self._folder, ignore_errors=True)


def Descendants(window):
    """Every window below W (as from Inspect), depth first, in Z order."""
    for child in window["children"]:
        yield child
        yield from Descendants(child)


def FindChild(window, text=None, className=None):
    """The first descendant of W with this text and/or class name, or None."""
    for child in Descendants(window):
        if (text is None or child["text"] == text) and \
           (className is None or child["class"].lower() == className.lower()):
            return child
    return None


def Click(x, y, button=1):
    """Moves the pointer to screen point x, y and clicks, like a person (XTEST events)."""
    # One command: the X server takes XTEST events in order, so the click lands at x, y.
    # (mousemove --sync would wait ~15 s when the pointer is already there.)
    Xdotool("mousemove", x, y, "click", button)


def ClickClient(caption, x, y, button=1, env=None):
    """Clicks at client coordinates x, y of the top-level window `caption` (`env` as for
    Inspect)."""
    info = Inspect(caption, env)
    if not info:
        raise HarnessError("no window %r to click" % caption)
    left, top = info["window"]["client"][:2]
    Click(left + x, top + y, button)


def ClickCaption(caption):
    """Clicks the caption bar of the top-level window `caption`, left of its middle, which
    activates it and gives it the keyboard focus (no window manager runs on Xvfb)."""
    info = Inspect(caption)
    if not info:
        raise HarnessError("no window %r to activate" % caption)
    left, top, width, _ = info["window"]["rect"]
    clientTop = info["window"]["client"][1]
    Click(left + width // 3, (top + clientTop) // 2)


def ClickCenter(window, button=1):
    """Clicks the middle of a window W (as from Inspect)."""
    left, top, width, height = window["rect"]
    Click(left + width // 2, top + height // 2, button)


def _X11():
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDisplayKeycodes.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                     ctypes.POINTER(ctypes.c_int)]
    x11.XGetKeyboardMapping.restype = ctypes.POINTER(ctypes.c_ulong)
    x11.XGetKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_ubyte, ctypes.c_int,
                                        ctypes.POINTER(ctypes.c_int)]
    x11.XChangeKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                           ctypes.POINTER(ctypes.c_ulong), ctypes.c_int]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XFree.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    xtst = ctypes.CDLL("libXtst.so.6")
    xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                       ctypes.c_ulong]
    return x11, xtst


def _TypeBound(characters, delayMs):
    """Types characters beyond ASCII on keys of their own (XTEST). Each is bound to a spare
    keycode first, for the rest of the display's life. xdotool binds such a character only
    while it types it and undoes that at once: a slow (emulated) Wine then translates the
    key after the undo and gets another character or none."""
    x11, xtst = _X11()
    display = x11.XOpenDisplay(None)
    if not display:
        raise HarnessError("cannot open the display %r" % os.environ.get("DISPLAY"))
    try:
        low, high, perKey = ctypes.c_int(), ctypes.c_int(), ctypes.c_int()
        x11.XDisplayKeycodes(display, ctypes.byref(low), ctypes.byref(high))
        count = high.value - low.value + 1
        table = x11.XGetKeyboardMapping(display, low.value, count, ctypes.byref(perKey))
        rows = [[table[k * perKey.value + j] for j in range(perKey.value)] for k in range(count)]
        x11.XFree(table)
        unshifted = {row[0]: low.value + k for k, row in enumerate(rows) if row[0]}
        # Keycode 8 is no key; the spare ones above it, lowest first.
        spare = [low.value + k for k, row in enumerate(rows) if not any(row)][::-1]
        spare = [code for code in spare if code > 8]
        for character in characters:
            code = ord(character)
            # Latin-1 characters are their own keysyms; others are 0x1000000 + code point.
            keysym = code if 0xA0 <= code <= 0xFF else 0x1000000 + code
            if keysym not in unshifted:
                if not spare:
                    raise HarnessError("no spare keycode for %r" % character)
                unshifted[keysym] = spare.pop()
                x11.XChangeKeyboardMapping(display, unshifted[keysym], 1,
                                           (ctypes.c_ulong * 1)(keysym), 1)
            for down in (1, 0):
                xtst.XTestFakeKeyEvent(display, unshifted[keysym], down, 0)
                x11.XSync(display, 0)
                time.sleep(delayMs / 2000.0)
    finally:
        x11.XCloseDisplay(display)


def TypeText(text, delayMs=20):
    """Types `text` into the focused control (XTEST key events): ASCII through xdotool, other
    characters on keys bound to them (see _TypeBound)."""
    for run in re.findall(r"[\x20-\x7e]+|[^\x20-\x7e]+", text):
        if run[0] < "\x7f":
            Xdotool("type", "--delay", delayMs, "--", run)
        else:
            _TypeBound(run, delayMs)


def WaitForText(caption, className, text, timeout=60.0):
    """Waits until the first control of class `className` in the window `caption` holds
    `text` (a slow Wine takes a while to take typed keys); on timeout the error shows what
    it held last."""
    last = [None]

    def Arrived():
        info = Inspect(caption)
        control = info and FindChild(info["window"], className=className)
        last[0] = control and control["text"]
        return last[0] == text
    try:
        WaitUntil(Arrived, timeout, interval=0.1, what="the text %r" % text)
    except HarnessError as error:
        raise HarnessError("%s; the control held %r" % (error, last[0])) from None


def Key(*keys):
    """Presses key combinations such as 'Return' or 'alt+F4' (XTEST, never --window)."""
    Xdotool("key", "--delay", 30, *keys)


def SaveScreenshot(path):
    """Saves the whole display as an image file (format from the extension, e.g. .png)."""
    subprocess.run(["import", "-window", "root", path], check=True, timeout=30,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    return path


class Screenshot:
    """The whole display at one moment; Pixel(x, y) gives (r, g, b) at screen point x, y."""

    def __init__(self):
        data = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], check=True,
                              timeout=30, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE).stdout
        # Binary PPM: "P6" width height maxval, each followed by one whitespace byte.
        fields, position = [], 0
        while len(fields) < 4:
            while data[position:position + 1].isspace():
                position += 1
            start = position
            while not data[position:position + 1].isspace():
                position += 1
            fields.append(data[start:position])
        if fields[0] != b"P6" or fields[3] != b"255":
            raise HarnessError("unexpected screenshot format %r" % fields)
        self.width, self.height = int(fields[1]), int(fields[2])
        self._pixels = data[position + 1:]

    def Pixel(self, x, y):
        offset = 3 * (y * self.width + x)
        return tuple(self._pixels[offset:offset + 3])


def ColorNear(actual, expected, tolerance=8):
    """True when each channel of two (r, g, b) colours differs by at most `tolerance`."""
    return all(abs(a - e) <= tolerance for a, e in zip(actual, expected))

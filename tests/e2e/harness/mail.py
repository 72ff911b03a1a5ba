"""Mail capture: capture.exe registered as the prefix's mailto handler (or the browser), and
what it captured."""
import os
import shutil
import tempfile

from .base import WaitUntil
from .wine import Helper, RegAdd, WindowsPath


def RegisterMailtoCapture(scheme="mailto"):
    """Makes capture.exe the handler of `scheme` URLs (mailto, or http and https in place of
    the browser) in the whole prefix. The value is the same for every test, so tests may
    register it side by side."""
    RegAdd("HKCR\\%s\\shell\\open\\command" % scheme, None,
           '"%s" "%%1"' % WindowsPath(Helper("capture")))


class MailCapture:
    """A private capture file: pass `env` to the program that opens mail URLs (the capture
    helper inherits it through the shell). Use with RegisterMailtoCapture()."""

    def __init__(self):
        self._folder = tempfile.mkdtemp(prefix="exitpoll-mail-")
        self.path = os.path.join(self._folder, "captured")
        self.env = {"EXITPOLL_CAPTURE_FILE": WindowsPath(self.path)}

    def Lines(self):
        """Every captured command line of capture.exe, as bytes, without the line feed."""
        if not os.path.exists(self.path):
            return []
        with open(self.path, "rb") as f:
            return f.read().split(b"\n")[:-1]

    def Urls(self):
        """The URLs handed to the mail handler: each captured line without the quoted
        program path and the quotes around %1."""
        prefix = b'"' + WindowsPath(Helper("capture")).encode() + b'" "'
        urls = []
        for line in self.Lines():
            if line.startswith(prefix) and line.endswith(b'"'):
                urls.append(line[len(prefix):-1])
            else:
                urls.append(line)  # not our registration's form: give the raw line
        return urls

    def WaitForUrls(self, count=1, timeout=60.0):
        """Waits until at least `count` URLs were captured and returns all of them."""
        return WaitUntil(lambda: len(self.Urls()) >= count and self.Urls(), timeout,
                         what="%d captured mail URL(s)" % count)

    def SettledUrls(self, timeout=60.0):
        """The URLs once no capture helper of this build runs: call it after the program that
        may open mail has ended (its shell started any helper before that), so that a late
        mail, as a slow Wine writes it, is counted too."""
        helper = Helper("capture")
        names = (WindowsPath(helper).lower().encode(), helper.lower().encode())

        def NoneRunning():
            for entry in os.listdir("/proc"):
                try:
                    with open("/proc/%s/cmdline" % entry, "rb") as f:
                        command = f.read().replace(b"\0", b" ").lower()
                except OSError:
                    continue
                if any(name in command for name in names):
                    return False
            return True
        WaitUntil(NoneRunning, timeout, interval=0.1, what="the mail helpers to end")
        return self.Urls()

    def Close(self):
        shutil.rmtree(self._folder, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.Close()

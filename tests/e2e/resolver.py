"""A resolver of the test's own for Wine programs: hosts, resolv.conf and nsswitch.conf of
the test bind-mounted over /etc in a private mount namespace that Wine runs in (Wine looks
names up with the C library of the Wine process itself), and a DNS server on a loopback UDP
port that answers as the test needs. Needs root for the namespace and port 53."""
import os
import shutil
import socket
import subprocess
import tempfile
import threading

NAME = "stats.exitpoll.test"  # the statistics host of the build with a host name
DNS_ADDRESS = "127.77.0.53"  # a loopback address no system resolver uses


def Available():
    """Whether this process may make mount namespaces (root, unshare -m)."""
    if os.geteuid() != 0:
        return False
    return subprocess.run(["unshare", "-m", "true"], stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


class NameFiles:
    """The three files in a temp folder: `hosts` lines after localhost, the DNS server above
    as the only name server (one try, 30 s: a silent server holds a lookup that long),
    and hosts before DNS. Wrapper() is the argv prefix that runs a program with them."""

    def __init__(self, hosts=""):
        self.folder = tempfile.mkdtemp(prefix="exitpoll-resolver-")
        self.paths = []
        for name, text in (("hosts", "127.0.0.1 localhost\n" + hosts),
                           ("resolv.conf", "nameserver %s\noptions timeout:30 attempts:1\n"
                            % DNS_ADDRESS),
                           ("nsswitch.conf", "hosts: files dns\n")):
            path = os.path.join(self.folder, name)
            with open(path, "w") as f:
                f.write(text)
            self.paths.append(path)

    def Wrapper(self):
        script = ('mount --bind "$1" /etc/hosts && mount --bind "$2" /etc/resolv.conf && '
                  'mount --bind "$3" /etc/nsswitch.conf && shift 3 && exec "$@"')
        return ["unshare", "-m", "--propagation", "private", "sh", "-c", script, "sh"] + self.paths

    def Close(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.Close()


class DnsServer:
    """UDP port 53 at DNS_ADDRESS. `answer` False: reads the queries and never answers;
    True: answers each at once with "no such name" (NXDOMAIN). Names() gives the names
    asked for so far."""

    def __init__(self, answer):
        self.answer = answer
        self._names = []
        self._lock = threading.Lock()
        self._socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self._socket.bind((DNS_ADDRESS, 53))
        self._socket.settimeout(0.1)
        self._stopping = threading.Event()
        self._thread = threading.Thread(target=self._Serve, daemon=True)
        self._thread.start()

    def _Serve(self):
        while not self._stopping.is_set():
            try:
                query, peer = self._socket.recvfrom(4096)
            except socket.timeout:
                continue
            except OSError:
                return
            labels, position = [], 12
            while position < len(query) and query[position]:
                length = query[position]
                labels.append(query[position + 1:position + 1 + length].decode("ascii", "replace"))
                position += 1 + length
            question = query[12:position + 5]  # the name, its end and the type and class
            with self._lock:
                self._names.append(".".join(labels))
            if self.answer:
                # The query's id; a response to a recursive query, recursion available,
                # NXDOMAIN; the one question again and no records.
                flags = 0x8000 | (query[2] & 0x79) << 8 | 0x80 | 3
                reply = query[:2] + bytes([flags >> 8, flags & 0xFF, 0, 1, 0, 0, 0, 0, 0, 0])
                self._socket.sendto(reply + question, peer)

    def Names(self):
        with self._lock:
            return list(self._names)

    def Stop(self):
        self._stopping.set()
        self._thread.join(5)
        self._socket.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.Stop()

#!/usr/bin/env python3
"""scripts/release: two clones of the last commit in different folders, built one after the
other with different umasks and temporary folders, write the same archive byte for byte; it holds what a maker
needs, its SHA256SUMS are right, and its exe is this build's tested one but for the PE time
stamp (the commit's) and the checksum over it."""
import hashlib
import io
import os
import shutil
import struct
import subprocess
import tempfile
import unittest
import zipfile

SOURCE_DIR = os.environ.get("EXITPOLL_SOURCE_DIR") or os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..")
EXPECTED = {
    "CHANGELOG.md", "LICENSE", "MAKERS.md", "SHA256SUMS", "check-endpoint", "exitpoll.exe",
    "examples/inno/sample_tool.iss", "examples/msi/sample_tool.wxs",
    "examples/nsis/sample_tool.nsi", "settings/exitpoll.ini", "server/lib/VERSION",
}


def Git(*args):
    return subprocess.run(["git", "-C", SOURCE_DIR] + list(args), stdout=subprocess.PIPE,
                          check=True).stdout.decode().strip()


def PeStampAndChecksum(exe):
    """The PE header's TimeDateStamp and CheckSum, and the file with both set to 0."""
    header = struct.unpack_from("<I", exe, 0x3C)[0]
    stamp, = struct.unpack_from("<I", exe, header + 8)
    checksum, = struct.unpack_from("<I", exe, header + 24 + 64)
    blanked = bytearray(exe)
    struct.pack_into("<I", blanked, header + 8, 0)
    struct.pack_into("<I", blanked, header + 24 + 64, 0)
    return stamp, checksum, bytes(blanked)


def PeChecksum(exe):
    """The PE checksum as Windows computes it: 16-bit one's-complement sum of the file with
    the field itself as 0, plus the file's length."""
    header = struct.unpack_from("<I", exe, 0x3C)[0]
    data = bytearray(exe)
    struct.pack_into("<I", data, header + 24 + 64, 0)
    if len(data) % 2:
        data.append(0)
    total = 0
    for (word,) in struct.iter_unpack("<H", bytes(data)):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(exe)


@unittest.skipUnless(shutil.which("git") and os.path.exists(os.path.join(SOURCE_DIR, ".git")),
                     "not a git checkout")
class ReleaseTest(unittest.TestCase):
    def test_two_clones_write_the_same_archive(self):
        with open(os.path.join(SOURCE_DIR, "VERSION")) as f:
            version = f.readline().strip()
        name = "exitpoll-%s" % version
        archives = []
        # The second build in the test's build folder, not under /tmp, with another umask:
        # the linker orders some tables by path, so a build folder could show in the bytes.
        for umask, where in ((0o022, None), (0o077, os.getcwd())):
            with tempfile.TemporaryDirectory(prefix="exitpoll-release-", dir=where) as folder:
                clone = os.path.join(folder, "clone")
                subprocess.run(["git", "clone", "-q", SOURCE_DIR, clone], check=True)
                subprocess.run(["git", "-C", clone, "checkout", "-q", Git("rev-parse", "HEAD")],
                               check=True)
                result = subprocess.run(
                    ["sh", "-c", "umask %o && exec scripts/release" % umask], cwd=clone,
                    env=dict(os.environ, TMPDIR=folder),
                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600)
                output = result.stdout.decode(errors="replace")
                print(output)
                self.assertEqual(result.returncode, 0, output)
                with open(os.path.join(clone, "dist", name + ".zip"), "rb") as f:
                    archives.append(f.read())
        digests = [hashlib.sha256(a).hexdigest() for a in archives]
        print("SHA-256 of both builds: %s" % " ".join(digests))
        self.assertEqual(digests[0], digests[1])

        with zipfile.ZipFile(io.BytesIO(archives[0])) as archive:
            files = {i.filename[len(name) + 1:]: archive.read(i) for i in archive.infolist()}
            self.assertTrue(all(i.filename.startswith(name + "/") for i in archive.infolist()))
        self.assertLessEqual(EXPECTED, set(files))
        tracked_server = set(Git("ls-files", "server").split("\n"))
        self.assertEqual({f for f in files if f.startswith("server/")} - {"server/lib/VERSION"},
                         tracked_server)
        self.assertEqual(set(files) - EXPECTED - tracked_server, set())
        self.assertEqual(files["server/lib/VERSION"].strip().decode(), version)

        sums = dict(reversed(line.split("  ", 1))
                    for line in files["SHA256SUMS"].decode().splitlines())
        self.assertEqual(set(sums), set(files) - {"SHA256SUMS"})
        for path, digest in sums.items():
            self.assertEqual(hashlib.sha256(files[path]).hexdigest(), digest, path)

        stamp, checksum, blanked = PeStampAndChecksum(files["exitpoll.exe"])
        self.assertEqual(stamp, int(Git("log", "-1", "--format=%ct")))
        self.assertEqual(checksum, PeChecksum(files["exitpoll.exe"]))
        built = os.environ.get("EXITPOLL_EXE")
        if built and not Git("status", "--porcelain", "--untracked-files=no"):
            with open(built, "rb") as f:
                self.assertEqual(blanked, PeStampAndChecksum(f.read())[2],
                                 "the archive's exe is not the tested build")
        else:
            print("not compared with this build's exe: the checkout has uncommitted changes")


if __name__ == "__main__":
    unittest.main(verbosity=2)

#!/usr/bin/env python3
"""Plants known faults in the pure core one at a time, in a scratch copy of the work tree,
and runs the host suite (unit tests and fuzzers; not the collector's) on each: every fault must fail it.

    tests/fuzz/planted_faults.py [SCRATCH_DIR]

Prints one line per fault with the tests that caught it; exits 1 if a fault went uncaught
or the unchanged copy fails."""
import os
import re
import shutil
import subprocess
import sys
import tempfile

# (what, file, text, replacement)
FAULTS = [
    ("the receive queue drops the last byte of every read of 4096 bytes or more",
     "net/receive_queue.cpp", "  Bytes += n;\n",
     "  if (n >= kGatherChunkSize) {\n    --chunk->Length;\n    --n;\n  }\n  Bytes += n;\n"),
    ("Base64Encode swaps two bytes inside a group",
     "http/base64.cpp", "(in[i] << 16) | (in[i + 1] << 8)", "(in[i + 1] << 16) | (in[i] << 8)"),
    ("ParseUrl never splits off a port",
     "http/url_parser.cpp", "ByteString port = ExtractWord(authority, ':', 2);",
     "ByteString port;"),
    ("the status code is read from the wrong word",
     "http/reply_lines.cpp", "ExtractWord(text, ' ', 2)", "ExtractWord(text, ' ', 3)"),
    ("the mail body stops escaping \"&\"",
     "app/report.cpp", "c == '%' || c == '&' ||", "c == '%' ||"),
]


def Run(command, cwd, **kwargs):
    return subprocess.run(command, cwd=cwd, stdin=subprocess.DEVNULL, **kwargs)


def HostSuite(scratch):
    """Builds the host preset and runs its tests; returns the names of the failed tests, or
    None when the build fails."""
    if Run(["cmake", "--build", "--preset", "host"], scratch,
           stdout=subprocess.DEVNULL).returncode != 0:
        return None
    # The collector's tests need the servers that scripts/test starts, and no fault planted
    # here reaches them.
    result = Run(["ctest", "--preset", "host", "-LE", "collector"], scratch,
                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    return re.findall(r"^\s*\d+ - (\S+) \(", result.stdout, re.M)


def main():
    source = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    scratch = sys.argv[1] if len(sys.argv) > 1 else tempfile.mkdtemp(prefix="planted-faults-")
    files = Run(["git", "ls-files", "-co", "--exclude-standard"], source, check=True,
                stdout=subprocess.PIPE, text=True).stdout.split()
    for name in files:
        if os.path.isfile(os.path.join(source, name)):
            os.makedirs(os.path.dirname(os.path.join(scratch, name)), exist_ok=True)
            shutil.copy2(os.path.join(source, name), os.path.join(scratch, name))
    Run(["cmake", "--preset", "host"], scratch, stdout=subprocess.DEVNULL, check=True)

    ok = True
    failed = HostSuite(scratch)
    print("unchanged: %s" % ("passes" if failed == [] else "FAILS: %s" % failed), flush=True)
    ok = failed == []
    for what, name, text, replacement in FAULTS:
        path = os.path.join(scratch, name)
        with open(path) as f:
            original = f.read()
        if original.count(text) != 1:
            print("%s: cannot plant, the code changed (%s)" % (what, name))
            ok = False
            continue
        with open(path, "w") as f:
            f.write(original.replace(text, replacement))
        failed = HostSuite(scratch)
        with open(path, "w") as f:
            f.write(original)
        if failed is None:
            print("%s: does not build" % what)
            ok = False
        else:
            print("%s: %s" % (what, "caught by " + ", ".join(failed) if failed else "NOT CAUGHT"),
                  flush=True)
            ok = ok and bool(failed)
    if len(sys.argv) < 2:
        shutil.rmtree(scratch)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

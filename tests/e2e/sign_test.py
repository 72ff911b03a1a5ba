#!/usr/bin/env python3
"""scripts/sign with a throwaway certificate chain made here by openssl: copies of the exe,
the NSIS and Inno Setup installers and the MSI package each verify against the throwaway
root, a changed byte fails, a signed file is refused unless --replace, the password never
shows, a time stamp from a loopback RFC 3161 server verifies, and the signed exe still shows
its window and stores its report under Wine."""
import contextlib
import http.server
import os
import shutil
import subprocess
import tempfile
import threading
import unittest

import applet as a
import harness as h

PASSWORD = "throwaway pass ~ 7"
SIGN = os.path.join(h.SOURCE_DIR, "scripts", "sign")
FILES = [("exitpoll.exe", "EXITPOLL_EXE"), ("nsis-setup.exe", "EXITPOLL_NSIS_SETUP"),
         ("inno-setup.exe", "EXITPOLL_INNO_SETUP"), ("sample.msi", "EXITPOLL_MSI_PACKAGE")]


def Openssl(folder, *args):
    subprocess.run(["openssl"] + list(args), cwd=folder, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def MakeChain(folder):
    """A root CA and a code-signing leaf under it, in one PKCS#12; returns (pfx, root)."""
    Openssl(folder, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key",
            "-out", "ca.pem", "-days", "2", "-subj", "/CN=exitpoll throwaway root",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign")
    Openssl(folder, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", "leaf.key", "-out",
            "leaf.csr", "-subj", "/CN=exitpoll throwaway maker")
    with open(os.path.join(folder, "leaf.ext"), "w") as f:
        f.write("basicConstraints=CA:FALSE\nkeyUsage=digitalSignature\n"
                "extendedKeyUsage=codeSigning\n")
    Openssl(folder, "x509", "-req", "-in", "leaf.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-days", "2", "-extfile", "leaf.ext", "-out", "leaf.pem")
    Openssl(folder, "pkcs12", "-export", "-inkey", "leaf.key", "-in", "leaf.pem", "-certfile",
            "ca.pem", "-out", "maker.pfx", "-passout", "pass:" + PASSWORD)
    return os.path.join(folder, "maker.pfx"), os.path.join(folder, "ca.pem")


@contextlib.contextmanager
def TimeStampServer(folder):
    """An RFC 3161 time-stamp server on loopback that `openssl ts` answers, with a
    time-stamping certificate under the throwaway root; yields its URL."""
    with open(os.path.join(folder, "tsa.ext"), "w") as f:
        f.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                "extendedKeyUsage=critical,timeStamping\n")
    with open(os.path.join(folder, "tsa.cnf"), "w") as f:
        f.write("[tsa]\ndefault_tsa = tsa_config\n[tsa_config]\nserial = tsa.serial\n"
                "signer_digest = sha256\ndefault_policy = 1.2.3.4.1\n"
                "digests = sha256, sha384, sha512\ness_cert_id_alg = sha256\n")
    with open(os.path.join(folder, "tsa.serial"), "w") as f:
        f.write("01\n")
    Openssl(folder, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", "tsa.key", "-out",
            "tsa.csr", "-subj", "/CN=exitpoll throwaway time stamps")
    Openssl(folder, "x509", "-req", "-in", "tsa.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-days", "2", "-extfile", "tsa.ext", "-out", "tsa.pem")

    class Answer(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            query = os.path.join(folder, "query.tsq")
            with open(query, "wb") as f:
                f.write(self.rfile.read(int(self.headers["Content-Length"])))
            Openssl(folder, "ts", "-reply", "-config", "tsa.cnf", "-queryfile", query,
                    "-signer", "tsa.pem", "-inkey", "tsa.key", "-chain", "ca.pem",
                    "-out", "reply.tsr")
            with open(os.path.join(folder, "reply.tsr"), "rb") as f:
                reply = f.read()
            self.send_response(200)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(reply)))
            self.end_headers()
            self.wfile.write(reply)

        def log_message(self, *args):
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), Answer)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield "http://127.0.0.1:%d/" % server.server_port
    finally:
        server.shutdown()
        server.server_close()


def Verify(path, root):
    result = subprocess.run(["osslsigncode", "verify", "-CAfile", root, "-in", path],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
    return result.returncode, result.stdout.decode(errors="replace")


def ChangedByte(path):
    """A copy with one byte changed where the signature covers it: in a program's first
    section, in a package the product's name in its string pool."""
    with open(path, "rb") as f:
        data = bytearray(f.read())
    at = data.find(b"Sample Tool") if path.endswith(".msi") else 0x400 + 16
    assert at >= 0, path
    data[at] ^= 0x20
    changed = path + ".changed"
    with open(changed, "wb") as f:
        f.write(data)
    return changed


class SignTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="exitpoll-sign-")
        cls.pfx, cls.root = MakeChain(cls.folder)
        cls.files = []
        for name, variable in FILES:
            path = os.path.join(cls.folder, name)
            shutil.copy(os.environ[variable], path)
            cls.files.append(path)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def Sign(self, files, *options, password=PASSWORD):
        env = dict(os.environ, EXITPOLL_SIGN_PASSWORD=password)
        result = subprocess.run([SIGN] + files + ["--pkcs12", self.pfx] + list(options),
                                env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                timeout=120)
        output = result.stdout.decode(errors="replace")
        self.assertNotIn(PASSWORD, output)
        return result.returncode, output

    def test_signed_files_verify_and_a_changed_byte_fails(self):
        self.assertEqual(self.Sign(self.files, "--url", "https://example.com/")[0], 0)
        for path in self.files:
            with self.subTest(os.path.basename(path)):
                code, output = Verify(path, self.root)
                print(output.strip().splitlines()[-3:])
                self.assertEqual(code, 0, output)
                self.assertIn("Signature verification: ok", output)
                self.assertNotEqual(Verify(ChangedByte(path), self.root)[0], 0)
        code, output = Verify(self.files[0], self.root)
        self.assertIn("Text description: Uninstall survey", output)
        self.assertIn("URL description: https://example.com/", output)

        exe = self.files[0]
        with open(exe, "rb") as f:
            signed = f.read()
        cases = [
            # (reason, options, password, exit code expected, file changed)
            ("signed already", [], PASSWORD, 1, False),
            ("wrong password", ["--replace"], "wrong", 1, False),
            ("a password on the command line", ["--password", PASSWORD], PASSWORD, 2, False),
            ("--replace, the password from a file", ["--replace", "--password-file",
                                                     os.path.join(self.folder, "pass")],
             "", 0, True),
        ]
        with open(os.path.join(self.folder, "pass"), "w") as f:
            f.write(PASSWORD)
        for reason, options, password, expected, changed in cases:
            with self.subTest(reason):
                code, output = self.Sign([exe], *options, password=password)
                self.assertEqual(code, expected, output)
                with open(exe, "rb") as f:
                    self.assertEqual(f.read() != signed, changed)
                self.assertEqual(Verify(exe, self.root)[0], 0)
        self.assertEqual(Verify(exe, self.root)[1].count("Signature Index:"), 1)

    def test_time_stamp(self):
        exe = os.path.join(self.folder, "stamped.exe")
        shutil.copy(os.environ["EXITPOLL_EXE"], exe)
        with TimeStampServer(self.folder) as url:
            self.assertEqual(self.Sign([exe], "--timestamp", url)[0], 0)
        result = subprocess.run(["osslsigncode", "verify", "-CAfile", self.root,
                                 "-TSA-CAfile", self.root, "-in", exe],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
        output = result.stdout.decode(errors="replace")
        self.assertEqual(result.returncode, 0, output)
        self.assertIn("Timestamp Server Signature verification: ok", output)

    def test_signed_exe_shows_its_window_and_reports(self):
        exe = os.path.join(self.folder, "run", "exitpoll.exe")
        os.makedirs(os.path.dirname(exe))
        shutil.copy(os.environ["EXITPOLL_EXE"], exe)
        self.assertEqual(self.Sign([exe])[0], 0)
        self.assertEqual(Verify(exe, self.root)[0], 0)
        with h.PhpServer() as server:
            app, _ = a.Start(b"Signed_Tool", exe=exe)
            with app:
                a.Close("button")
                self.assertEqual(app.Wait(), 0)
            self.assertEqual([row[1:3] for row in server.Rows()], [(b"Signed Tool", b"Other: ")])


if __name__ == "__main__":
    unittest.main(verbosity=2)

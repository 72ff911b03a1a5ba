"""HTTPS for the end-to-end tests, all on loopback: a throwaway certificate authority made
with openssl, the files Wine reads for names and trusted roots bound over /etc in a private
mount namespace, the collector behind nginx over HTTPS and HTTP, a server that accepts and
never answers, one that answers as scripted, and a proxy of the test's own that logs what it is asked. Wine's crypt32 reads
its roots from /etc/ssl/certs/ca-certificates.crt, so binding a bundle over that one file
decides what Wine trusts, for the programs of that namespace alone."""
import os
import select
import shutil
import socket
import subprocess
import tempfile
import threading

import harness as h

BUNDLE = "/etc/ssl/certs/ca-certificates.crt"


def Available():
    """Whether this process may make mount namespaces (root, unshare -m) and Wine's bundle
    file is there to be covered."""
    if os.geteuid() != 0 or not os.path.exists(BUNDLE):
        return False
    return subprocess.run(["unshare", "-m", "true"], stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def ForgetRoots():
    """Wine copies the trusted roots into a volatile registry key the first time a program of
    the wineserver's session asks for them, and every later program takes them from there:
    forget that copy, so that the next program reads the bundle of its own namespace."""
    h.Wine(["reg", "delete", "HKLM\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates",
            "/f"], check=False)


def _Openssl(*args, cwd):
    subprocess.run(["openssl"] + list(args), cwd=cwd, check=True, timeout=60,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


class Authority:
    """A certificate authority that lives as long as the object: `pem` is its certificate,
    Issue(name) makes a server certificate for a host name and returns (cert, key) paths."""

    def __init__(self, label):
        self.folder = tempfile.mkdtemp(prefix="exitpoll-ca-")
        self.pem = os.path.join(self.folder, "ca.pem")
        self.key = os.path.join(self.folder, "ca.key")
        _Openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", self.key,
                 "-out", self.pem, "-days", "2", "-subj", "/CN=exitpoll test CA " + label,
                 "-addext", "basicConstraints=critical,CA:TRUE",
                 "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=self.folder)

    def Issue(self, name):
        base = os.path.join(self.folder, name)
        with open(base + ".ext", "w") as f:
            f.write("subjectAltName=DNS:%s\nbasicConstraints=CA:FALSE\n"
                    "keyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n"
                    % name)
        _Openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", base + ".key",
                 "-out", base + ".csr", "-subj", "/CN=" + name, cwd=self.folder)
        _Openssl("x509", "-req", "-in", base + ".csr", "-CA", self.pem, "-CAkey", self.key,
                 "-CAcreateserial", "-out", base + ".pem", "-days", "2",
                 "-extfile", base + ".ext", cwd=self.folder)
        return base + ".pem", base + ".key"

    def Close(self):
        shutil.rmtree(self.folder, ignore_errors=True)


class TrustFiles:
    """A hosts file (localhost, the machine's own name and `hosts` lines) and a bundle of the
    given CA certificates, bound over /etc/hosts and Wine's bundle by Wrapper(), the argv
    prefix that runs a program with them (as h.Start's wrapper)."""

    def __init__(self, hosts, authorities):
        self.folder = tempfile.mkdtemp(prefix="exitpoll-trust-")
        self.hosts = os.path.join(self.folder, "hosts")
        self.bundle = os.path.join(self.folder, "bundle.crt")
        with open(self.hosts, "w") as f:
            # Wine asks for the machine's own name as well, and logs an error without it.
            f.write("127.0.0.1 localhost\n127.0.1.1 %s\n%s" % (socket.gethostname(), hosts))
        with open(self.bundle, "wb") as out:
            for authority in authorities:
                with open(authority.pem, "rb") as f:
                    out.write(f.read())

    def Wrapper(self):
        script = ('mount --bind "$1" /etc/hosts && mount --bind "$2" "$3" && shift 3 && '
                  'exec "$@"')
        return ["unshare", "-m", "--propagation", "private", "sh", "-c", script, "sh",
                self.hosts, self.bundle, BUNDLE]

    def Close(self):
        shutil.rmtree(self.folder, ignore_errors=True)


def Collector(database, name, cert, key):
    """The collector (server/ under nginx + php-fpm, storing into `database`) for the host
    `name` on an HTTPS port (.port) and an HTTP port (.plainPort), and two servers that
    answer everything with 301 and the request's path and query: on .upPort over HTTP to
    the HTTPS port, on .downPort over HTTPS to the HTTP port."""
    ports = [h.collector.FreePort() for _ in range(3)]
    tls = "ssl_certificate %s; ssl_certificate_key %s;" % (cert, key)
    listen = "listen 127.0.0.1:{port} ssl; listen 127.0.0.1:%d; %s" % (ports[0], tls)
    extra = ("server { listen 127.0.0.1:%d; return 301 https://%s:{port}$request_uri; }\n"
             "server { listen 127.0.0.1:%d ssl; %s return 301 http://%s:%d$request_uri; }"
             % (ports[1], name, ports[2], tls, name, ports[0]))
    server = h.collector.NginxFpm(database.settings, listen=listen, extra=extra)
    server.plainPort, server.upPort, server.downPort = ports
    return server


class _Threaded:
    """A loopback listener whose connections are served by Serve(connection) in threads of
    their own; Stop() closes everything."""

    def __init__(self):
        self.port = h.collector.FreePort()
        self._listener = socket.create_server(("127.0.0.1", self.port))
        self._connections = []
        self._lock = threading.Lock()
        self._stopping = False
        threading.Thread(target=self._Accept, daemon=True).start()

    def _Accept(self):
        while True:
            try:
                connection, _ = self._listener.accept()
            except OSError:
                return
            with self._lock:
                if self._stopping:
                    connection.close()
                    return
                self._connections.append(connection)
            threading.Thread(target=self.Serve, args=(connection,), daemon=True).start()

    def Accepted(self):
        with self._lock:
            return len(self._connections)

    def Stop(self):
        with self._lock:
            self._stopping = True
            connections = list(self._connections)
        self._listener.close()
        for connection in connections:
            connection.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.Stop()


class SilentServer(_Threaded):
    """Accepts and reads, and never sends a byte: a TLS handshake with it never ends."""

    def Serve(self, connection):
        try:
            while connection.recv(4096):
                pass
        except OSError:
            pass


class Proxy(_Threaded):
    """An HTTP proxy that knows the names in `names` (all at 127.0.0.1) and no others: CONNECT
    for tunnels, absolute-form requests forwarded as they are. Lines() gives the first line of
    every request it was asked."""

    def __init__(self, names):
        self.names = set(names)
        self._lines = []
        _Threaded.__init__(self)

    def Lines(self):
        with self._lock:
            return list(self._lines)

    def Serve(self, client):
        try:
            head = b""
            while b"\r\n\r\n" not in head and len(head) < 65536:
                chunk = client.recv(4096)
                if not chunk:
                    return
                head += chunk
            line = head.split(b"\r\n", 1)[0]
            with self._lock:
                self._lines.append(line)
            method, target = line.split(b" ")[:2]
            if method == b"CONNECT":
                name, port = target.decode().rsplit(":", 1)
            else:  # http://name:port/path
                authority = target.decode().split("/")[2]
                name, port = (authority.rsplit(":", 1) + ["80"])[:2]
            if name not in self.names:
                client.sendall(b"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n")
                return
            upstream = socket.create_connection(("127.0.0.1", int(port)), timeout=10)
            if method == b"CONNECT":
                client.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
                head = head.split(b"\r\n\r\n", 1)[1]
            upstream.sendall(head)
            self._Relay(client, upstream)
        except (OSError, ValueError):
            pass
        finally:
            client.close()

    @staticmethod
    def _Relay(a, b):
        with b:
            while True:
                ready, _, _ = select.select([a, b], [], [], 30)
                if not ready:
                    return
                for source in ready:
                    data = source.recv(65536)
                    if not data:
                        return
                    (b if source is a else a).sendall(data)


class ScriptedTls(_Threaded):
    """An HTTPS server with the certificate `cert` that answers each GET with the reply of
    the first entry of `replies` ([(path prefix, reply bytes)]) whose prefix its path has,
    then closes. Paths() gives the paths it was asked for."""

    def __init__(self, cert, key, replies):
        import ssl
        self._context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self._context.load_cert_chain(cert, key)
        self.replies = replies
        self._paths = []
        _Threaded.__init__(self)

    def Paths(self):
        with self._lock:
            return list(self._paths)

    def Serve(self, connection):
        try:
            connection.settimeout(10)
            with self._context.wrap_socket(connection, server_side=True) as tls:
                head = b""
                while b"\r\n\r\n" not in head and len(head) < 65536:
                    chunk = tls.recv(4096)
                    if not chunk:
                        return
                    head += chunk
                path = head.split(b" ")[1]
                with self._lock:
                    self._paths.append(path)
                for prefix, reply in self.replies:
                    if path.startswith(prefix):
                        tls.sendall(reply)
                        break
        except (OSError, IndexError):
            pass

"""The collector where makers put it, for its tests and benchmarks: Debian's Apache with mod_php
serving an uploaded copy of server/ (shared hosting: settings in .htaccess, nothing else), and
Debian's nginx and php-fpm from copies of their packaged configuration trees, set up by the
steps server/README.md gives. Private instances on loopback ports; no system service."""
import glob
import os
import re
import shutil
import socket
import ssl
import subprocess
import tempfile

import collector as c

WEB_USER = "www-data"  # Debian's; the user PHP runs as when the tests run as root


def _ReadableByAll(path):
    """Makes the folders down to `path` traversable by the web user, as a host's would be."""
    while path not in ("/", ""):
        os.chmod(path, os.stat(path).st_mode | 0o755)
        path = os.path.dirname(path)


class ApacheModPhp(c._Server):
    """`apache2` as packaged by Debian with libapache2-mod-php on 127.0.0.1:port, configured
    like a permissive shared host: listings on, `AllowOverride All`, PHP as www-data (when
    run as root). The document root is `home/public_html`; `home` itself is not writable by
    PHP, as on a host where the account's files belong to the account and PHP runs apart."""
    name = "Apache + mod_php"

    def __init__(self, home):
        self.folder = tempfile.mkdtemp(prefix="exitpoll-apache-")
        self.home = home
        self.root = os.path.join(home, "public_html")
        self.port = c.FreePort()
        f = self.folder
        php = sorted(glob.glob("/usr/lib/apache2/modules/libphp*.so"))
        if not php:
            raise RuntimeError("libapache2-mod-php is not installed")
        modules = ["mpm_prefork", "authz_core", "authz_host", "authn_core", "access_compat",
                   "dir", "mime", "autoindex", "env", "setenvif", "alias"]
        user = "User %s\nGroup %s\n" % (WEB_USER, WEB_USER) if os.geteuid() == 0 else ""
        with open(os.path.join(f, "apache2.conf"), "w") as out:
            out.write("".join("LoadModule %s_module /usr/lib/apache2/modules/mod_%s.so\n"
                              % (m, m) for m in modules))
            out.write("""LoadModule php_module %(php)s
Include /etc/apache2/mods-available/php*.conf
ServerRoot %(f)s
ServerName 127.0.0.1
Listen 127.0.0.1:%(port)d
PidFile %(f)s/apache2.pid
DefaultRuntimeDir %(f)s
Mutex file:%(f)s default
ErrorLog %(f)s/error.log
LogFormat "%%h %%r %%>s" plain
CustomLog %(f)s/access.log plain
%(user)sTypesConfig /etc/mime.types
DirectoryIndex index.html index.php
StartServers 2
MinSpareServers 2
MaxSpareServers 4
MaxRequestWorkers 8
DocumentRoot %(root)s
AccessFileName .htaccess
<Directory />
  AllowOverride None
  Require all denied
</Directory>
<Directory %(root)s>
  Options Indexes FollowSymLinks
  AllowOverride All
  Require all granted
</Directory>
""" % {"php": php[-1], "f": f, "port": self.port, "user": user, "root": self.root})
        _ReadableByAll(self.root)
        _ReadableByAll(f)
        self._Launch(["apache2", "-d", f, "-f", os.path.join(f, "apache2.conf"),
                      "-DFOREGROUND"], dict(os.environ, APACHE_RUN_DIR=f))
        self._Wait(self.port)

    def ErrorLog(self):
        with open(os.path.join(self.folder, "error.log"), "rb") as log:
            return log.read().decode(errors="replace")


def Upload(home):
    """A copy of server/ as a maker uploads it into the account's web folder."""
    root = os.path.join(home, "public_html")
    shutil.copytree(c.SERVER_DIR, root)
    return root


def SetInHtaccess(path, name, value):
    """Does what the maker does: uncomments the SetEnv line of `name` and puts `value` in."""
    with open(path) as f:
        text = f.read()
    line = 'SetEnv %s "%s"' % (name, value)
    new, count = re.subn(r"^# *SetEnv %s .*$" % name, lambda _: line, text, flags=re.M)
    if count != 1:
        raise RuntimeError("no commented SetEnv line for %s in %s" % (name, path))
    with open(path, "w") as f:
        f.write(new)


def ReadmeBlocks(heading):
    """The indented code blocks of the section `heading` of server/README.md, each as text."""
    with open(os.path.join(c.SERVER_DIR, "README.md")) as f:
        section = f.read().split("\n## " + heading + "\n", 1)[1].split("\n## ", 1)[0]
    blocks, current = [], []
    for line in section.split("\n") + [""]:
        if line.startswith("    "):
            current.append(line[4:])
        elif current:
            blocks.append("\n".join(current) + "\n")
            current = []
    return blocks


class DebianNginx(c._Server):
    """Debian's nginx and php-fpm from copies of /etc/nginx and /etc/php/8.2/fpm as packaged,
    set up by running `steps` (shell, as written for the real paths) in that private tree:
    the paths of /etc, /srv, /run and /var/log are moved into the tree, ports 80 and 443 to
    loopback ports (nginx's IPv6 listening sockets dropped), and nothing else changed. Runs
    in `source`, by default the repository's root, so `server` there is the checkout's."""
    name = "Debian's nginx + php-fpm"
    MOVED = ["/etc/nginx", "/etc/php/8.2/fpm", "/etc/exitpoll", "/srv/exitpoll", "/run",
             "/var/log"]

    def __init__(self, steps, site_lines="", source=os.path.dirname(c.SERVER_DIR)):
        self.folder = tempfile.mkdtemp(prefix="exitpoll-debian-")
        _ReadableByAll(self.folder)
        f = self.folder
        self.port, self.tls_port = c.FreePort(), c.FreePort()
        shutil.copytree("/etc/nginx", f + "/etc/nginx", symlinks=False)
        shutil.copytree("/etc/php/8.2/fpm", f + "/etc/php/8.2/fpm", symlinks=False)
        for folder in ["/run/php", "/var/log/nginx", "/srv"]:
            os.makedirs(f + folder, exist_ok=True)
        self.steps = self._Moved(steps)
        try:
            subprocess.run(["bash", "-euo", "pipefail", "-c", self.steps], check=True,
                           timeout=120, cwd=source)
        except Exception:
            shutil.rmtree(f, ignore_errors=True)
            raise
        if site_lines:  # what the maker adds to the site's server block (the certificate)
            self._AddToSite(site_lines)
        for top, _, files in os.walk(f + "/etc"):
            for name in files:
                path = os.path.join(top, name)
                if not os.path.islink(path) and (name.endswith(".conf") or "sites-" in top):
                    self._Rewrite(path)
        self.process = None
        self.fpm_log = open(os.path.join(f, "fpm.out"), "wb")
        fpm_binary = shutil.which("php-fpm8.2") or "/usr/sbin/php-fpm8.2"
        c._running.add(self)
        self.fpm = subprocess.Popen(
            [fpm_binary, "-F", "-y", f + "/etc/php/8.2/fpm/php-fpm.conf",
             "-c", f + "/etc/php/8.2/fpm/php.ini"] + (["-R"] if os.geteuid() == 0 else []),
            env=c.server_processes.Marked(c._Environment({}), f), stdin=subprocess.DEVNULL,
            stdout=self.fpm_log, stderr=subprocess.STDOUT, start_new_session=True)
        self.log = self.fpm_log
        try:
            c.WaitFor(lambda: os.path.exists(f + "/run/php/php8.2-fpm.sock")
                      or self.fpm.poll() is not None, 20, "php-fpm's socket")
        except Exception:
            self.Stop()
            raise
        self._Launch(["nginx", "-p", f + "/", "-e", f + "/var/log/nginx/error.log",
                      "-c", f + "/etc/nginx/nginx.conf", "-g", "daemon off;"], None)
        self._Wait(self.port)

    def _Moved(self, text):
        for path in self.MOVED:  # each once: not where a path has been moved already
            text = re.sub(r"(?<![\w./-])%s(?=[/\s;\"']|$)" % re.escape(path),
                          lambda m: self.folder + m.group(0), text, flags=re.M)
        return text

    def _Rewrite(self, path):
        with open(path) as f:
            text = f.read()
        text = self._Moved(text)
        text = re.sub(r"listen \[::\]:80[^;]*;", "", text)
        text = re.sub(r"listen 80\b", "listen 127.0.0.1:%d" % self.port, text)
        text = re.sub(r"listen 443\b", "listen 127.0.0.1:%d" % self.tls_port, text)
        if os.geteuid() != 0:
            text = re.sub(r"^(user|group|listen\.owner|listen\.group)\b.*$", "", text,
                          flags=re.M)
        with open(path, "w") as f:
            f.write(text)

    def _AddToSite(self, lines):
        site = self.folder + "/etc/nginx/sites-available/exitpoll"
        with open(site) as f:
            text = f.read()
        anchor = "  listen 80 default_server;\n"
        text = text.replace(anchor, anchor + "".join("  " + line + "\n"
                                                     for line in lines.splitlines()), 1)
        with open(site, "w") as f:
            f.write(text)

    def _Processes(self):
        return [p for p in (self.process, self.fpm) if p is not None]

    def Stop(self):
        c._Server.Stop(self)
        self.fpm_log.close()

    def Log(self):
        logs = []
        for name in ["var/log/nginx/error.log", "var/log/php8.2-fpm.log", "fpm.out"]:
            path = os.path.join(self.folder, name)
            if os.path.exists(path):
                with open(path, "rb") as f:
                    logs.append(name + ":\n" + f.read().decode(errors="replace"))
        return "\n".join(logs)


class Certificates:
    """A throwaway CA made here and a certificate it signed for 127.0.0.1."""

    def __init__(self, folder):
        self.ca = os.path.join(folder, "ca.pem")
        self.certificate = os.path.join(folder, "server.pem")
        self.key = os.path.join(folder, "server.key")
        ca_key = os.path.join(folder, "ca.key")
        request = os.path.join(folder, "server.csr")
        extensions = os.path.join(folder, "server.ext")
        with open(extensions, "w") as f:
            f.write("subjectAltName = IP:127.0.0.1\n")
        ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
        for command in [
                ["req", "-x509"] + ec + ["-keyout", ca_key, "-out", self.ca, "-days", "2",
                                         "-subj", "/CN=exitpoll test CA"],
                ["req"] + ec + ["-keyout", self.key, "-out", request, "-subj", "/CN=127.0.0.1"],
                ["x509", "-req", "-in", request, "-CA", self.ca, "-CAkey", ca_key,
                 "-CAcreateserial", "-out", self.certificate, "-days", "2",
                 "-extfile", extensions]]:
            subprocess.run(["openssl"] + command, check=True, timeout=60,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.chmod(self.key, 0o644)
        _ReadableByAll(folder)


def TlsRequest(port, target, ca, extra_headers=b"", source="127.0.0.1"):
    """c.Request over TLS from the loopback address `source`, the server's certificate checked
    against the throwaway CA."""
    context = ssl.create_default_context(cafile=ca)
    request = (b"GET " + target + b" HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
               + extra_headers + b"\r\n")
    with socket.create_connection(("127.0.0.1", port), timeout=20,
                                  source_address=(source, 0)) as raw:
        with context.wrap_socket(raw, server_hostname="127.0.0.1") as s:
            s.sendall(request)
            return c.ReadToEnd(s)

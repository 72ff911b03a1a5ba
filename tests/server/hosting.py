"""The collector where makers put it, for its tests and benchmarks: Debian's Apache with mod_php
serving an uploaded copy of server/ (shared hosting: settings in .htaccess, nothing else), and
Debian's nginx and php-fpm from copies of their packaged configuration trees, set up by the
steps server/README.md gives. Private instances on loopback ports; no system service."""
import glob
import os
import re
import shutil
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

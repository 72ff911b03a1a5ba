"""End-to-end test harness: runs Windows programs under Wine with exact command lines, waits for
processes it did not start, reads the registry, captures mailto URLs, serves loopback
statistics servers (scripted, nginx, php -S), drives windows on the virtual display with
xdotool and samples screenshots. Every wait here is bounded.

The tests run under ctest with DISPLAY and WINEPREFIX set by scripts/test, and with
EXITPOLL_E2E_BIN (the helper programs), EXITPOLL_SOURCE_DIR and, once the program exists,
EXITPOLL_EXE set by tests/e2e/CMakeLists.txt.

Each concern has a module of its own (base, wine, mail, servers, display); every name is
also here, so that a test reads `import harness as h` and `h.Start(...)`."""
# The standard modules the harness used, for callers that reach them through it (h.time).
import ctypes  # noqa: F401
import json  # noqa: F401
import os  # noqa: F401
import re  # noqa: F401
import shutil  # noqa: F401
import socket  # noqa: F401
import subprocess  # noqa: F401
import sys  # noqa: F401
import tempfile  # noqa: F401
import threading  # noqa: F401
import time  # noqa: F401

from .base import *  # noqa: F401,F403
from .wine import *  # noqa: F401,F403
from .wine import _WineEnvironment  # noqa: F401
from .mail import *  # noqa: F401,F403
from .servers import *  # noqa: F401,F403
from .servers import _Process, collector  # noqa: F401
from .display import *  # noqa: F401,F403
from .display import _TypeBound, _X11  # noqa: F401

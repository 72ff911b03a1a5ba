# Sourced by scripts/test and scripts/demo: the start-up both share.
#
#   start_up NETWORK PRESETS ARGS...
#
# Called first by the script as it was started: installs what is missing
# (scripts/setup-machine), finds out whether this machine runs Wine's 32-bit programs
# natively (scripts/i386-support.sh), builds the PRESETS ("host win32" or one of them)
# and re-enters the script, with its ARGS again, in the namespace where the rest runs:
#
#   - emulated: scripts/i386-namespace, where i386 programs run under qemu-i386; with a
#     network of its own (only loopback) when NETWORK is "private", else the machine's;
#   - native, NETWORK "private", as root: a network namespace of its own (unshare -n);
#   - otherwise the script goes on in the same process.
#
# Called again in the re-entered script (EXITPOLL_STARTED is set), it only checks that
# namespace and brings its loopback up. Either way it leaves START_MODE_LINE, one line for
# the reader on how Wine runs, and START_TIME, when the first call began (date +%s).

start_up() {
  local network=$1 presets=$2 root
  shift 2
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  # Debian keeps nginx and ip in /usr/sbin, which an ordinary user's PATH lacks.
  case ":$PATH:" in
    *:/usr/sbin:*) ;;
    *) export PATH=$PATH:/usr/sbin:/sbin ;;
  esac
  source "$root/scripts/i386-support.sh"
  if [ -n "${EXITPOLL_STARTED:-}" ]; then
    START_MODE_LINE=$EXITPOLL_STARTED START_TIME=${EXITPOLL_START_TIME:-$(date +%s)}
    if [[ "$START_MODE_LINE" == *emulated* ]] && ! i386_emulation_active; then
      echo "$(basename "$0"): Wine should run emulated, but no i386 emulator is registered here" >&2
      exit 1
    fi
    if [ "$network" = private ] && [ "$(id -u)" = 0 ]; then
      ip link set lo up || exit 1
    fi
    return 0
  fi

  START_TIME=$(date +%s)
  "$root/scripts/setup-machine" || exit 1
  i386_support_prepare "$root"
  START_MODE_LINE=$I386_MODE_LINE
  echo "== $START_MODE_LINE =="
  local preset
  for preset in $presets; do
    cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" || exit 1
  done
  if [[ " $presets " == *" host "* ]]; then
    # The results page's browser test drives Chromium with this (no browser is downloaded).
    if ! cmp -s "$root/tests/server/package-lock.json" \
         "$root/tests/server/node_modules/.installed-lock"; then
      (cd "$root/tests/server" && npm ci --no-audit --no-fund --loglevel=error) &&
        cp "$root/tests/server/package-lock.json" \
           "$root/tests/server/node_modules/.installed-lock" || exit 1
    fi
  fi

  export EXITPOLL_STARTED=$START_MODE_LINE EXITPOLL_START_TIME=$START_TIME
  if [ "$I386_MODE" = emulated ]; then
    local share=()
    [ "$network" = private ] || share=(--share-network)
    exec "$root/scripts/i386-namespace" "${share[@]}" "$I386_QEMU" "$0" "$@"
  fi
  # The tests bind the fixed port 8080 on loopback: in a network namespace of their own, a
  # run of another checkout on the same machine can neither take their port nor send its
  # reports to their servers, and no test reaches the real network.
  if [ "$network" = private ] && [ "$(id -u)" = 0 ] && unshare -n true 2>/dev/null; then
    exec unshare -n "$0" "$@"
  fi
}

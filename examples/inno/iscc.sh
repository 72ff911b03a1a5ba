#!/usr/bin/env bash
# iscc.sh PREFIX ISCC.exe [ISCC ARGUMENTS...]: runs the Inno Setup compiler under Wine in a
# prefix of the build's own (made on first use), for the build of the example installer.
# Unix paths among the arguments (a script path, or the value of /DNAME=/path) are handed
# to the compiler as Wine's Z: drive shows them. Where this kernel runs no i386 programs,
# the compiler runs under the emulator that scripts/test prepares.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
prefix=$1 iscc=$2
shift 2

if ! /usr/lib/wine/wine --version >/dev/null 2>&1 </dev/null &&
   [ -z "${EXITPOLL_I386_EMULATOR:-}" ] && [ -x "$root/build/qemu-user/usr/bin/qemu-i386" ]; then
  exec "$root/scripts/i386-namespace" "$root/build/qemu-user/usr/bin/qemu-i386" \
       "$0" "$prefix" "$iscc" "$@"
fi

windows_path() { local p=${1//\//\\}; echo "Z:$p"; }
args=()
for arg in "$@"; do
  if [[ "$arg" == /D*=/* ]]; then
    args+=("${arg%%=*}=$(windows_path "${arg#*=}")")
  elif [[ "$arg" == /* ]] && [ -e "$arg" ]; then
    args+=("$(windows_path "$arg")")
  else
    args+=("$arg")
  fi
done

export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
# Wine's background services inherit the first Wine process's standard handles: keep the
# build tool's output pipe away from them.
mkdir -p "$prefix"
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot </dev/null >/dev/null 2>&1
log=$prefix/iscc.log
wine "$iscc" /Q "${args[@]}" </dev/null >"$log" 2>&1
status=$?
wineserver -k </dev/null >/dev/null 2>&1
[ $status = 0 ] || { cat "$log" >&2; echo "iscc.sh: ISCC.exe failed with $status" >&2; }
exit $status

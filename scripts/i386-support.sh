# Sourced by scripts/test and scripts/demo: finds out whether this machine runs Wine's
# 32-bit programs natively and, where its kernel refuses i386 programs (or
# EXITPOLL_EMULATE_I386=1 asks for it), prepares emulation: qemu-i386 10 from Debian's
# bookworm-backports, unpacked into build/qemu-user/, registered only inside a private
# namespace (scripts/i386-namespace), with Debian's wine64 so that the wineserver runs
# natively.
#
# i386_support_prepare ROOT: sets I386_MODE (native or emulated), I386_MODE_LINE (one line
# for the reader) and, when emulated, I386_QEMU; stops the calling script with the cause
# and the remedy where emulation is needed but impossible.

I386_LOADER=/usr/lib/wine/wine

i386_support_fail() {
  echo "$I386_SCRIPT: Wine's 32-bit programs cannot run on this machine." >&2
  echo "  cause: $1" >&2
  echo "  remedy: $2" >&2
  exit 1
}

# The folder of Debian's main archive that apt uses here (the machine's own mirror).
i386_debian_mirror() {
  local url
  url=$(apt-cache policy 2>/dev/null |
        sed -n 's|^ *[0-9]* \([a-z]*://[^ ]*\) bookworm/main amd64 Packages$|\1|p' | head -n 1)
  echo "${url:-http://deb.debian.org/debian}"
}

# Unpacks the static qemu-i386 of bookworm-backports' qemu-user into $1 without changing
# the machine's apt set-up: a private sources list and package lists under $1/apt.
i386_fetch_qemu() {
  local dir=$1 apt=$1/apt
  [ -x "$dir/usr/bin/qemu-i386" ] && return 0
  echo "$I386_SCRIPT: fetching qemu-user from bookworm-backports into $dir"
  rm -rf "$dir"
  mkdir -p "$apt/lists/partial" "$apt/download"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg]" \
       "$(i386_debian_mirror) bookworm-backports main" >"$apt/sources.list"
  local options=(-o "Dir::Etc::SourceList=$apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
                 -o "Dir::State::Lists=$apt/lists" -o Dir::Cache::pkgcache=
                 -o Dir::Cache::srcpkgcache= -o APT::Sandbox::User=root -qq)
  apt-get "${options[@]}" update >/dev/null &&
    (cd "$apt/download" && apt-get "${options[@]}" download qemu-user/bookworm-backports \
       >/dev/null) &&
    dpkg-deb --fsys-tarfile "$apt"/download/qemu-user_*.deb | tar -x -C "$dir" ./usr/bin/qemu-i386
  local status=$?
  rm -rf "$apt/download"
  [ $status = 0 ] && [ -x "$dir/usr/bin/qemu-i386" ] ||
    i386_support_fail "qemu-user could not be fetched from bookworm-backports" \
      "make Debian's package mirror reachable and run $I386_SCRIPT again"
}

i386_support_prepare() {
  local root=$1 version
  I386_SCRIPT=$(basename "$0")
  if [ "${EXITPOLL_EMULATE_I386:-}" = 1 ]; then
    I386_MODE=emulated
    I386_MODE_LINE="Wine runs emulated (qemu-i386): forced by EXITPOLL_EMULATE_I386=1"
  else
    local output status
    output=$("$I386_LOADER" --version 2>&1 </dev/null)
    status=$?
    if [ $status = 0 ]; then
      I386_MODE=native
      I386_MODE_LINE="Wine runs natively: this kernel runs i386 programs"
      return 0
    fi
    if [ $status != 126 ] && [[ "$output" != *"Exec format error"* ]]; then
      i386_support_fail "$I386_LOADER --version failed (exit $status): $output" \
        "reinstall wine32:i386 (apt-get install --reinstall wine32:i386)"
    fi
    I386_MODE=emulated
    I386_MODE_LINE="Wine runs emulated (qemu-i386): this kernel refuses i386 programs"
  fi

  # Emulation needs a user namespace with a binfmt_misc of its own (Linux 6.7).
  version=$(uname -r)
  local major=${version%%.*} minor=${version#*.}
  minor=${minor%%[!0-9]*}
  if [ "$major" -lt 6 ] || { [ "$major" = 6 ] && [ "$minor" -lt 7 ]; }; then
    i386_support_fail "kernel $version is older than 6.7: a private namespace cannot have a
  binfmt_misc of its own to run i386 programs under qemu-i386" \
      "boot Linux 6.7 or later (bookworm-backports has it), or a kernel that runs i386
  programs (one not booted with ia32_emulation=0)"
  fi
  if [ "$(id -u)" != 0 ]; then
    i386_support_fail "emulating i386 programs needs root to map uids 0-65535 into a namespace" \
      "run $I386_SCRIPT as root"
  fi
  if ! unshare --user --mount true 2>/dev/null; then
    i386_support_fail "user namespaces are not available (unshare --user fails;
  user.max_user_namespaces is $(cat /proc/sys/user/max_user_namespaces 2>/dev/null))" \
      "allow them (sysctl user.max_user_namespaces=15000), or use a kernel that runs
  i386 programs"
  fi
  "$root/scripts/setup-machine" wine64 || exit 1
  i386_fetch_qemu "$root/build/qemu-user"
  I386_QEMU=$root/build/qemu-user/usr/bin/qemu-i386
  local trial
  trial=$("$root/scripts/i386-namespace" "$I386_QEMU" "$I386_LOADER" --version 2>&1 </dev/null) ||
    i386_support_fail "Wine's loader does not run under qemu-i386 in a private namespace: $trial" \
      "see the message above; a kernel 6.7 or later with user namespaces is needed"
  I386_MODE_LINE="$I386_MODE_LINE; $("$I386_QEMU" --version | head -n 1) in a private namespace"
}

# Inside the namespace: whether the i386 registration is really in force there.
i386_emulation_active() {
  grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null
}

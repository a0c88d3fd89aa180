# Sourced by the set-up scripts: apt-get as this machine needs it. As root it runs directly, else
# through sudo; it never asks a question; and it waits for the package locks that another apt
# (automatic updates on a freshly booted machine, another set-up script) holds, instead of failing
# at once.

# How long apt waits for a lock, in seconds: an automatic upgrade can take a while.
RFL_APT_LOCK_SECONDS=${RFL_APT_LOCK_SECONDS:-1800}

# Runs a command as root: directly, or through sudo.
rfl_as_root() {
  if [ "$(id -u)" -ne 0 ]; then sudo "$@"; else "$@"; fi
}

rfl_apt_get() {
  # Through env, so that sudo's reset of the environment does not drop it.
  local run=(rfl_as_root env DEBIAN_FRONTEND=noninteractive apt-get -o "DPkg::Lock::Timeout=$RFL_APT_LOCK_SECONDS")
  if [ "${1:-}" != update ]; then
    "${run[@]}" "$@"
    return
  fi
  # apt-get update does not wait for the lock of the package lists: try again while another apt
  # holds it.
  local errors status waited=0
  errors=$(mktemp)
  while :; do
    status=0
    "${run[@]}" "$@" 2>"$errors" || status=$?
    cat "$errors" >&2
    if [ "$status" -eq 0 ] || ! grep -q 'Could not get lock\|Unable to lock' "$errors" ||
       [ "$waited" -ge "$RFL_APT_LOCK_SECONDS" ]; then
      rm -f "$errors"
      return "$status"
    fi
    echo "Waiting for another apt to finish..." >&2
    sleep 10
    waited=$((waited + 10))
  done
}

# The packages among the arguments that are not installed for this machine's own architecture (or
# for all architectures). A package of a second architecture (arm64 beside amd64) does not count,
# and one installed for both counts once.
rfl_missing_packages() {
  local native name arch status
  native=$(dpkg --print-architecture)
  declare -A present=()
  # One line per installed instance; dpkg-query fails for names it has never seen, and says so.
  while read -r name arch status; do
    if [ "$status" = "install ok installed" ] && { [ "$arch" = "$native" ] || [ "$arch" = all ]; }; then
      present[$name]=1
    fi
  done < <(dpkg-query -W -f='${Package} ${Architecture} ${Status}\n' "$@" 2>/dev/null || true)
  for name in "$@"; do
    [ -n "${present[$name]:-}" ] || echo "$name"
  done
}

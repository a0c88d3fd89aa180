#!/usr/bin/env bash
# tools/setup.sh on a Debian machine with second architectures, against fake dpkg, apt-get and sudo
# that record what they are asked: the first run installs exactly what the native architecture
# lacks, waiting out another apt's lock; the second installs nothing.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT
bin=$fake/bin
mkdir -p "$bin"
# Only these real programs: no real apt, dpkg or npm is reachable.
for tool in env dirname mktemp cat grep rm; do ln -s "$(command -v $tool)" "$bin/$tool"; done
bash=$(command -v bash) chmod=$(command -v chmod)

# Installed instances: name, architecture, status. Unlisted names are installed natively; "-"
# marks a name dpkg has never seen.
cat > "$fake/db" <<'ROWS'
zlib1g-dev amd64 install ok installed
zlib1g-dev arm64 install ok installed
libpng-dev amd64 install ok installed
libpng-dev i386 install ok installed
fonts-noto-cjk all install ok installed
libgtest-dev arm64 install ok installed
pngcheck amd64 deinstall ok config-files
help2man - unknown
clang - unknown
ROWS
# dpkg-query -W -f=FORMAT NAME[:ARCH]...: FORMAT for each instance, run together as the real one
# prints them where FORMAT ends without a newline.
cat > "$bin/dpkg-query" <<EOF2
#!$bash
format=\${2#-f=}; shift 2; status=0
for pattern in "\$@"; do
  name=\${pattern%%:*}; want=\${pattern#\$name}; want=\${want#:}; found=
  rows=\$(while read -r n rest; do [ "\$n" = "\$name" ] && echo "\$rest"; done < "$fake/db")
  while read -r a s; do
    [ "\$a" = - ] || { [ -n "\$want" ] && [ "\$want" != "\$a" ]; } && continue
    out=\${format//'\${Package}'/\$name}; out=\${out//'\${Architecture}'/\$a}
    printf '%b' "\${out//'\${Status}'/\$s}"; found=1
  done <<< "\${rows:-amd64 install ok installed}"
  [ -n "\$found" ] || { echo "dpkg-query: no packages found matching \$pattern" >&2; status=1; }
done
exit \$status
EOF2
printf '#!%s\n[ "$1" = --print-architecture ] && echo amd64\n' "$bash" > "$bin/dpkg"
printf '#!%s\necho 1000\n' "$bash" > "$bin/id"
printf '#!%s\nFAKE_SUDO=yes exec "$@"\n' "$bash" > "$bin/sudo"
printf '#!%s\necho "sleep $*" >> "%s/log"\n' "$bash" "$fake" > "$bin/sleep"
# apt-get: the first update finds the lists locked, as while automatic updates run; install adds
# the packages for the native architecture (npm also as a program).
cat > "$bin/apt-get" <<EOF2
#!$bash
echo "sudo=\${FAKE_SUDO:-no} frontend=\${DEBIAN_FRONTEND:-} \$*" >> "$fake/log"
[ "\$3" = update ] && [ ! -e "$fake/updated" ] && echo > "$fake/updated" &&
  echo "E: Could not get lock /var/lib/apt/lists/lock. It is held by process 812 (apt-get)" >&2 && exit 100
if [ "\$3" = install ]; then
  for p in "\${@:4}"; do
    [[ \$p == -* ]] || echo "\$p amd64 install ok installed" >> "$fake/db"
    if [ "\$p" = npm ]; then printf '#!$bash\n' > "$bin/npm"; $chmod +x "$bin/npm"; fi
  done
fi
exit 0
EOF2
$chmod +x "$bin"/*

run_setup() {
  : > "$fake/log"
  PATH=$bin "$bash" "$root/tools/setup.sh" clang > "$fake/out" 2>&1 || { cat "$fake/out"; exit 1; }
}
run_setup
apt='sudo=yes frontend=noninteractive -o DPkg::Lock::Timeout=1800'
expected="$apt update
sleep 10
$apt update
$apt install -y --no-install-recommends libgtest-dev pngcheck help2man clang
$apt install -y --no-install-recommends nodejs npm"
[ "$(cat "$fake/log")" = "$expected" ] || { printf 'first run:\n%s\nexpected:\n%s\n' "$(cat "$fake/log")" "$expected"; exit 1; }
run_setup
[ ! -s "$fake/log" ] || { printf 'the second run installed again:\n%s\n' "$(cat "$fake/log")"; exit 1; }
echo "setup: the first run installed what was missing, the second nothing"

#!/usr/bin/env bash
# The page's third-party build takes the source of the installed version or, where a mirror cannot
# give it, the nearest source of the same upstream release. Fake apt-get and apt-cache stand for the
# archive; the real dpkg orders versions.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT
mkdir -p "$fake/bin" "$fake/src"
# showsrc lists $LISTED for zlib, and beside it another source package whose version would be
# nearer; source downloads only the versions in $DOWNLOADABLE.
cat > "$fake/bin/apt-cache" <<'EOF2'
#!/bin/bash
printf 'Package: zlib-decoy\nVersion: %s\n\n' "$DECOY"
for v in $LISTED; do printf 'Package: zlib\nBinary: zlib1g\nVersion: %s\n\n' "$v"; done
EOF2
cat > "$fake/bin/apt-get" <<'EOF2'
#!/bin/bash
wanted=${!#}
for v in $DOWNLOADABLE; do
  [ "zlib=$v" = "$wanted" ] && exit 0
done
echo "E: Failed to fetch $wanted" >&2
exit 100
EOF2
chmod +x "$fake/bin"/*
source "$root/web/build/debian_source.sh"
export PATH=$fake/bin:$PATH

failures=0
# installed | listed | downloadable | the version built ("fails" when none may be)
while IFS='|' read -r installed listed downloadable expected; do
  export LISTED=$listed DOWNLOADABLE="$downloadable 1:1.2.13.dfsg-1+deb12u0" DECOY=1:1.2.13.dfsg-1+deb12u0
  got=$(cd "$fake/src" && rfl_fetch_source zlib "$installed" 2> "$fake/said") || got=fails
  said=$(cat "$fake/said")
  if [ "$got" != "$expected" ]; then
    echo "installed $installed, listed [$listed], downloadable [$downloadable]: built '$got', expected '$expected'"
    failures=$((failures + 1))
  elif { [ "$got" = fails ] && [[ "$said" != *"(installed: $installed)"* ]]; } ||
       { [ "$got" != fails ] && [ "$got" != "$installed" ] && [[ "$said" != *"$installed"*"building $got instead"* ]]; }; then
    echo "installed $installed, built $got: the message does not say so: $said"
    failures=$((failures + 1))
  fi
done <<'CASES'
1:1.2.13.dfsg-1+deb12u1|1:1.2.13.dfsg-1 1:1.2.13.dfsg-1+deb12u1|1:1.2.13.dfsg-1 1:1.2.13.dfsg-1+deb12u1|1:1.2.13.dfsg-1+deb12u1
1:1.2.13.dfsg-1+deb12u1|1:1.2.13.dfsg-3 1:1.2.13.dfsg-1+deb12u1 1:1.2.13.dfsg-1|1:1.2.13.dfsg-1 1:1.2.13.dfsg-3|1:1.2.13.dfsg-1
1:1.2.13.dfsg-1|1:1.2.13.dfsg-1+deb12u1|1:1.2.13.dfsg-1+deb12u1|1:1.2.13.dfsg-1+deb12u1
1:1.2.13.dfsg-1+deb12u2|1:1.2.13.dfsg-1 1:1.2.13.dfsg-1+deb12u1|1:1.2.13.dfsg-1|1:1.2.13.dfsg-1
2.1.5-2|2.1.5-10 2.1.5-3 2.1.5-1|2.1.5-10 2.1.5-3|2.1.5-3
1:1.2.13.dfsg-1|1:1.3.dfsg-1 1.2.13.dfsg-1|1:1.3.dfsg-1 1.2.13.dfsg-1|1.2.13.dfsg-1
1:1.2.13.dfsg-1|1:1.3.dfsg-1|1:1.3.dfsg-1|fails
1:1.2.13.dfsg-1|1:1.2.13.dfsg-1||fails
CASES
[ "$failures" -eq 0 ] || exit 1
echo "debian source: every case took the expected version"

#!/usr/bin/env bash
# The page's third-party build takes the source of the installed version or, where a mirror cannot
# give it, the nearest source of the same upstream release, and says so. Fake apt-get and apt-cache
# stand for the archive (whose listing also holds another package's nearer version); the real dpkg
# orders versions.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT
mkdir -p "$fake/bin"
printf '#!/bin/bash\nprintf "Package: zlib-ng\\nVersion: 1:1.2.13.dfsg-1+deb12u0\\n\\n"
for v in $LISTED; do printf "Package: zlib\\nVersion: %%s\\n\\n" "$v"; done\n' > "$fake/bin/apt-cache"
printf '#!/bin/bash\n[ "$1" = indextargets ] || [ "${!#}" = update ] && exit 0
for v in $DOWNLOADABLE 1:1.2.13.dfsg-1+deb12u0; do [ "zlib=$v" = "${!#}" ] && exit 0; done
echo "E: cannot fetch ${!#}" >&2; exit 100\n' > "$fake/bin/apt-get"
chmod +x "$fake/bin"/*
source "$root/tools/apt.sh"
source "$root/tools/debian_source.sh"
export PATH=$fake/bin:$PATH

failures=0
# installed | listed | downloadable | the version built, or "fails"
while IFS='|' read -r installed LISTED DOWNLOADABLE expected; do
  export LISTED DOWNLOADABLE
  got=$(cd "$fake" && rfl_fetch_source zlib "$installed" 2> "$fake/said") || got=fails
  said=$(cat "$fake/said")
  case "$got" in
    "$installed") note= ;;
    fails) note="(installed: $installed)" ;;
    *) note="$installed cannot be downloaded: building $got instead" ;;
  esac
  if [ "$got" != "$expected" ] || [[ "$said" != *"$note"* ]]; then
    echo "installed $installed, listed [$LISTED], downloadable [$DOWNLOADABLE]: built $got, expected $expected; said: $said"
    failures=$((failures + 1))
  fi
done <<'CASES'
1:1.2.13.dfsg-1+deb12u1|1:1.2.13.dfsg-1 1:1.2.13.dfsg-1+deb12u1|1:1.2.13.dfsg-1 1:1.2.13.dfsg-1+deb12u1|1:1.2.13.dfsg-1+deb12u1
1:1.2.13.dfsg-1+deb12u1|1:1.2.13.dfsg-3 1:1.2.13.dfsg-1+deb12u1 1:1.2.13.dfsg-1|1:1.2.13.dfsg-1 1:1.2.13.dfsg-3|1:1.2.13.dfsg-1
1:1.2.13.dfsg-1|1:1.2.13.dfsg-1+deb12u1|1:1.2.13.dfsg-1+deb12u1|1:1.2.13.dfsg-1+deb12u1
2.1.5-2|2.1.5-10 2.1.5-3 2.1.5-1|2.1.5-10 2.1.5-3|2.1.5-3
1:1.2.13.dfsg-1|1:1.3.dfsg-1 1:1.2.13.dfsg-1|1:1.3.dfsg-1|fails
CASES

# Source entries beside the binary ones: from deb822 entries, or from a classic sources.list.
mkdir -p "$fake/deb822/sources.list.d" "$fake/classic/sources.list.d"
printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm\n' > "$fake/deb822/sources.list.d/debian.sources"
printf '# a comment\ndeb [arch=amd64] http://deb.debian.org/debian bookworm main\n' > "$fake/classic/sources.list"
RFL_APT_ETC=$fake/deb822 rfl_add_source_entries 2> /dev/null
RFL_APT_ETC=$fake/classic rfl_add_source_entries 2> /dev/null
if [ "$(head -1 "$fake/deb822/sources.list.d/rufuremina-deb-src.sources")" != "Types: deb-src" ] ||
   [ "$(cat "$fake/classic/sources.list.d/rufuremina-deb-src.list")" != \
     "deb-src [arch=amd64] http://deb.debian.org/debian bookworm main" ]; then
  echo "the source entries were not added as expected"
  failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] || exit 1
echo "source fallback: every case built the expected version"

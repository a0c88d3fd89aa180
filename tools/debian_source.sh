# Sourced by the scripts that build from Debian source packages: downloads one into the current
# folder, as the calling user (no root needed, and the files stay the caller's to remove). Needs
# tools/apt.sh.

# Adds source entries beside the archive's binary entries when apt has none, and reads their lists:
# from /etc/apt/sources.list.d/debian.sources (deb822, as Debian 12 installs it) or, on a machine
# upgraded from an older release, from the one-line entries of /etc/apt/sources.list.
rfl_add_source_entries() {
  apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -qx 'Sources' && return
  local etc=${RFL_APT_ETC:-/etc/apt} list entries
  if [ -f "$etc/sources.list.d/debian.sources" ]; then
    list=$etc/sources.list.d/rufuremina-deb-src.sources
    entries=$(sed -e 's/^Types:.*/Types: deb-src/' "$etc/sources.list.d/debian.sources")
  else
    list=$etc/sources.list.d/rufuremina-deb-src.list
    entries=$(sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$etc/sources.list" 2>/dev/null || true)
  fi
  if [ -z "$entries" ]; then
    echo "No Debian archive entries in $etc to add source entries from: add deb-src entries to apt" >&2
    return 1
  fi
  if [ ! -s "$list" ]; then
    echo "Adding Debian's source entries ($list)" >&2
    printf '%s\n' "$entries" | rfl_as_root tee "$list" > /dev/null
  fi
  rfl_apt_get update >&2
}

# apt-get source of "package=version".
rfl_apt_source() {
  apt-get -o "DPkg::Lock::Timeout=${RFL_APT_LOCK_SECONDS:-1800}" source --only-source "$1" >&2
}

# The upstream part of a Debian version: without its epoch and its Debian revision.
rfl_upstream_version() {
  local version=$1
  [[ "$version" == *:* ]] && version=${version#*:}
  [[ "$version" == *-* ]] && version=${version%-*}
  echo "$version"
}

# The versions of source package $1 that the archive lists, one a line.
rfl_source_versions() {
  apt-cache showsrc "$1" 2>/dev/null | awk -v src="$1" '/^Package: /{p=$2} /^Version: /{if (p == src) print $2}'
}

# Downloads and unpacks source package $1 at version $2, the version installed. Where that exact
# source cannot be downloaded (a mirror without the latest security update, or one that dropped the
# old version), takes the nearest version the archive has of the same upstream release: the closest
# older one first, then the closest newer, and so on outwards. Says which on standard error; prints
# the version unpacked.
rfl_fetch_source() {
  local src=$1 wanted=$2 upstream
  if rfl_apt_source "$src=$wanted"; then
    echo "$wanted"
    return
  fi
  upstream=$(rfl_upstream_version "$wanted")
  local older=() newer=() v
  # Ascending order by Debian's rules, then split around the version wanted.
  while read -r v; do
    [ "$v" = "$wanted" ] || [ "$(rfl_upstream_version "$v")" != "$upstream" ] && continue
    if dpkg --compare-versions "$v" lt "$wanted"; then older=("$v" "${older[@]}"); else newer+=("$v"); fi
  done < <(rfl_source_versions "$src" | sort -u | rfl_sort_versions)
  local tries=() i
  for ((i = 0; i < ${#older[@]} || i < ${#newer[@]}; ++i)); do
    [ $i -lt ${#older[@]} ] && tries+=("${older[i]}")
    [ $i -lt ${#newer[@]} ] && tries+=("${newer[i]}")
  done
  for v in "${tries[@]}"; do
    if rfl_apt_source "$src=$v"; then
      echo "The source of $src $wanted cannot be downloaded: building $v instead, the nearest source of upstream $upstream." >&2
      echo "$v"
      return
    fi
  done
  echo "No source of $src $upstream (installed: $wanted) can be downloaded; the archive lists: $(rfl_source_versions "$src" | sort -u | tr '\n' ' ')" >&2
  return 1
}

# Sorts Debian versions, one a line, in ascending order.
rfl_sort_versions() {
  local sorted=() v i
  while read -r v; do
    # Insertion: the lists are a handful of versions long.
    for ((i = ${#sorted[@]}; i > 0; --i)); do
      dpkg --compare-versions "${sorted[i - 1]}" le "$v" && break
    done
    sorted=("${sorted[@]:0:i}" "$v" "${sorted[@]:i}")
  done
  for v in "${sorted[@]}"; do echo "$v"; done
}

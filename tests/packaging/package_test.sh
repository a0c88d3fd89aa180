#!/usr/bin/env bash
# Builds the Debian package and checks it the way a user's system will meet it: the files it holds,
# the validators of Debian and freedesktop.org, and the programs unpacked into a temporary root.
# Usage: package_test.sh SOURCE-DIR VERSION-LOOKUP-PROGRAM
set -euo pipefail
src=$(realpath "$1")
version_lookup=$(realpath "$2")
id=org.example.rufuremina
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The batch renderer is in the package whenever the source tree has it.
with_batch=false
[ -f "$src/batch/CMakeLists.txt" ] && with_batch=true

# The package's build runs in Release without the sanitizers of the test build.
unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
deb=$(bash "$src/tools/package.sh" | tee /dev/stderr | tail -n 1)
echo "package: $deb"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
dpkg -x "$deb" "$root"

# --- The control fields -------------------------------------------------------------------------
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = rufuremina ] || fail "package name: $(field Package)"
[ "$(field Version)" = 1.06-1 ] || fail "version: $(field Version)"
[ "$(field Section)" = graphics ] || fail "section: $(field Section)"
[ "$(field Maintainer)" = "ルフレミナ・プロジェクト <maintainers@rufuremina.example.org>" ] ||
  fail "maintainer: $(field Maintainer)"
[ "$(field Recommends)" = fonts-noto-cjk ] || fail "recommends: $(field Recommends)"
depends=$(field Depends)
# The libraries come from the linked programs, the rest is what no linker sees (libheif, opened for
# the first HEIF picture, among them); nothing to build with.
for needed in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libjpeg62-turbo zlib1g libheif1 \
  qt6-qpa-plugins qt6-translations-l10n; do
  [[ ", $depends," == *", $needed "* || ", $depends," == *", $needed,"* ]] || fail "depends lacks $needed: $depends"
done
[[ "$depends" != *-dev* ]] || fail "depends on a build-only package: $depends"
[ -n "$(field Description | tail -n +2)" ] || fail "the description has no body"

# --- The files: exactly these, with these modes, owned by root -----------------------------------
{
  echo "-rwxr-xr-x ./usr/bin/rufuremina"
  $with_batch && echo "-rwxr-xr-x ./usr/bin/rufuremina-batch"
  echo "-rw-r--r-- ./usr/share/applications/$id.desktop"
  echo "-rw-r--r-- ./usr/share/metainfo/$id.metainfo.xml"
  echo "-rw-r--r-- ./usr/share/icons/hicolor/scalable/apps/$id.svg"
  for size in 16 22 24 32 48 64 128 256; do
    echo "-rw-r--r-- ./usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
  done
  echo "-rw-r--r-- ./usr/share/man/man1/rufuremina.1.gz"
  $with_batch && echo "-rw-r--r-- ./usr/share/man/man1/rufuremina-batch.1.gz"
  echo "-rw-r--r-- ./usr/share/doc/rufuremina/copyright"
  echo "-rw-r--r-- ./usr/share/doc/rufuremina/changelog.Debian.gz"
} >"$work/files"
{
  cat "$work/files"
  # Every folder on the way to a file.
  awk '{ p = $2; while (sub(/\/[^\/]*$/, "", p) && p != ".") print "drwxr-xr-x " p "/" }' "$work/files"
} | sort -u -k2 >"$work/expected"
dpkg-deb --contents "$deb" | awk '{ print $1, $2, $6 }' | sort -k3 >"$work/listed"
if grep -v ' root/root ' "$work/listed" >/dev/null; then
  fail "files not owned by root: $(grep -v ' root/root ' "$work/listed")"
fi
awk '{ print $1, $3 }' "$work/listed" >"$work/actual"
diff -u "$work/expected" "$work/actual" || fail "the package's contents differ from the expected ones (above)"

# --- The validators -----------------------------------------------------------------------------
desktop_file=$root/usr/share/applications/$id.desktop
out=$(desktop-file-validate "$desktop_file" 2>&1) && [ -z "$out" ] || fail "desktop-file-validate: $out"
# Offered under "Open with" for the pictures the window reads, which it is then given.
grep -qx 'Exec=rufuremina %f' "$desktop_file" || fail "the desktop entry passes no file: $(grep '^Exec=' "$desktop_file")"
grep -qx 'MimeType=image/bmp;image/jpeg;image/png;image/webp;image/heic;image/heif;image/avif;' "$desktop_file" ||
  fail "the desktop entry's picture types: $(grep '^MimeType=' "$desktop_file")"
out=$(appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" 2>&1) ||
  fail "appstreamcli validate (an error or a warning): $out"
out=$(appstreamcli validate-tree --no-net "$root" 2>&1) || fail "appstreamcli validate-tree: $out"
# lintian fails on errors only; the warnings and notes it has are shown in the log.
out=$(lintian --info --display-info --fail-on error "$deb" 2>&1) || fail "lintian reports an error"
printf '%s\n' "$out" | grep -v 'running with root privileges' || true

# --- The manual pages: groff's warnings count -----------------------------------------------------
man_page() { LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=w -E UTF-8 -l "$1"; }
pages=(rufuremina)
$with_batch && pages+=(rufuremina-batch)
for page in "${pages[@]}"; do
  file=$root/usr/share/man/man1/$page.1.gz
  warnings=$(man_page "$file" 2>&1 >"$work/$page.txt") || fail "man -l $page: failed"
  [ -z "$warnings" ] || fail "man -l $page warns: $warnings"
  grep -q "^NAME" "$work/$page.txt" && grep -q "^       $page - " "$work/$page.txt" ||
    fail "man -l $page: no NAME line for $page"
done

# --- The unpacked window ------------------------------------------------------------------------
window=$root/usr/bin/rufuremina
lookup=$("$version_lookup" "$window") || fail "version lookup on the unpacked window failed"
[ "$lookup" = "$(printf 'ルフレミナ\n1.06')" ] || fail "version lookup on the unpacked window: $lookup"

# Started on a virtual display like from the menu: the window appears with its title, the icon and
# the class that the desktop entry names, and keeps running.
wm_class=$(sed -n 's/^StartupWMClass=//p' "$desktop_file")
export WINDOW="$window" WM_CLASS_NAME="$wm_class"
if ! xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -u
  env -u QT_QPA_PLATFORM "$WINDOW" 2>/dev/null &
  pid=$!
  status=0
  wid=$(timeout 30 xdotool search --sync --name "^ルフレミナ$" | head -n 1)
  if [ -z "$wid" ]; then
    echo "no window titled ルフレミナ" >&2; status=1
  else
    [ "$(xdotool getwindowname "$wid")" = ルフレミナ ] || { echo "title: $(xdotool getwindowname "$wid")" >&2; status=1; }
    # The title may come before the class and the icons: they are given up to 30 s to follow.
    for _ in $(seq 300); do
      xprop -id "$wid" WM_CLASS | grep -q "\"$WM_CLASS_NAME\"" &&
        [ "$(xprop -id "$wid" _NET_WM_ICON | grep -ac "Icon (")" -ge 4 ] && break
      sleep 0.1
    done
    xprop -id "$wid" WM_CLASS | grep -q "\"$WM_CLASS_NAME\"" ||
      { echo "the window class is not $WM_CLASS_NAME: $(xprop -id "$wid" WM_CLASS)" >&2; status=1; }
    icons=$(xprop -id "$wid" _NET_WM_ICON | grep -ac "Icon (")
    [ "$icons" -ge 4 ] || { echo "the window carries $icons icon sizes" >&2; status=1; }
    sleep 1
    kill -0 "$pid" 2>/dev/null || { echo "the window did not keep running" >&2; status=1; }
  fi
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  exit $status
'; then
  fail "the unpacked window did not start as expected"
fi

# Started with a file, as "Open with" starts it: the window opens the file, here one it refuses by
# its name, with its error box.
echo x >"$work/note.txt"
export NOTE="$work/note.txt"
if ! xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -u
  env -u QT_QPA_PLATFORM "$WINDOW" "$NOTE" 2>/dev/null &
  pid=$!
  status=0
  timeout 30 xdotool search --sync --name "^エラー$" >/dev/null || { echo "no error box for the file" >&2; status=1; }
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  exit $status
'; then
  fail "the unpacked window did not open the file it was started with"
fi

# --- The unpacked batch renderer ----------------------------------------------------------------
if $with_batch; then
  batch=$root/usr/bin/rufuremina-batch
  version=$("$batch" --version) && [[ "$version" =~ (^|[[:space:]])1\.06$ ]] ||
    fail "rufuremina-batch --version: $version"
  convert -size 120x80 gradient:red-blue "BMP3:$work/photo.bmp"
  if "$batch" --quiet -o "$work/photo.png" "$work/photo.bmp"; then
    pngcheck -q "$work/photo.png" >/dev/null || fail "rufuremina-batch wrote a damaged PNG"
    [ "$(identify -format '%w %h' "$work/photo.png")" = "256 256" ] || fail "rufuremina-batch: wrong PNG size"
  else
    fail "rufuremina-batch could not render a picture"
  fi
  # A HEIC and an AVIF photo: the stripped program opens their library when it reads them.
  convert "$work/photo.bmp" "$work/source.png"
  heif-enc -q 80 "$work/source.png" -o "$work/photo.heic" >/dev/null
  avifenc "$work/source.png" "$work/photo.avif" >/dev/null
  for photo in photo.heic photo.avif; do
    "$batch" --quiet -o "$work/$photo.png" "$work/$photo" && [ "$(identify -format '%w %h' "$work/$photo.png")" = "256 256" ] ||
      fail "rufuremina-batch could not render $photo"
  done
  # Every long option of --help is in the manual page, and so are the exit codes.
  for option in $("$batch" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "$option" "$work/rufuremina-batch.txt" || fail "the batch manual page lacks $option"
  done
  grep -qi "exit status" "$work/rufuremina-batch.txt" || fail "the batch manual page has no exit status"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) of the package failed" >&2
  exit 1
fi
echo "the package holds"

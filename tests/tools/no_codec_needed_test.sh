#!/usr/bin/env bash
# The programs name no picture codec library among the libraries they need at start: libheif and
# its codecs are opened when the first HEIF or AVIF picture is read (picture/heif_library.h).
# Usage: no_codec_needed_test.sh PROGRAM...
set -euo pipefail
status=0
for program in "$@"; do
  needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p')
  # The listing was read: every program needs the C library.
  if ! grep -qx 'libc\.so\.[0-9]*' <<<"$needed"; then
    echo "$program: no NEEDED entries read"; status=1; continue
  fi
  if codecs=$(grep -E '^lib(heif|de265|dav1d|x265|aom)\.' <<<"$needed"); then
    echo "$program needs at start:" $codecs; status=1
  fi
done
exit $status

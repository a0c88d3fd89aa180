#pragma once
// A transparent cut-out in every format the decoding libraries read, for the front ends' tests:
// 24 x 16 pixels, the left half opaque orange-red, the right half fully transparent blue. The PNG is
// the program's own export; the others are made from it by Debian's encoders.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "picture/export.h"
#include "tests/support/pixel_checks.h"

inline constexpr int CutoutWidth = 24, CutoutHeight = 16;
inline constexpr TBGRA CutoutOpaque{30, 60, 200, 255};

struct TCutoutKind {
  const char* Name;
  const char* Extension;  // in the letter case a camera or a program gives it
  const char* Command;    // the encoder, from %in to %out; none for the PNG
  bool Exact;             // lossless: the pixels come back as drawn
};

inline constexpr TCutoutKind CutoutKinds[] = {
    {"PNG", ".png", nullptr, true},
    {"WebP lossless", ".webp", "cwebp -quiet -lossless -exact %in -o %out", true},
    {"WebP lossy", ".WebP", "cwebp -quiet -q 90 -exact %in -o %out", false},
    {"HEIC", ".HEIC", "heif-enc -q 90 %in -o %out", false},
    {"HEIF", ".heif", "heif-enc -q 90 %in -o %out", false},
    {"AVIF", ".avif", "avifenc -l %in %out >/dev/null", false},
};

// Writes the cut-out of `kind` as `file`; false when its encoder failed or is missing.
inline bool WriteCutout(const TCutoutKind& kind, const std::string& file) {
  TBitmap picture(CutoutWidth, CutoutHeight, pf32bit);
  for (int y = 0; y < CutoutHeight; ++y)
    for (int x = 0; x < CutoutWidth; ++x)
      reinterpret_cast<TBGRA*>(picture.ScanLine(y))[x] = x < CutoutWidth / 2 ? CutoutOpaque : TBGRA{200, 60, 30, 0};
  const std::string png = kind.Command == nullptr ? file : file + ".source.png";
  SaveRendering(picture, TExportFormat::PNG, png);
  if (kind.Command == nullptr) return true;
  std::string command = kind.Command;
  command.replace(command.find("%in"), 3, "'" + png + "'");
  command.replace(command.find("%out"), 4, "'" + file + "'");
  const bool made = std::system(command.c_str()) == 0 && std::filesystem::exists(file);
  std::filesystem::remove(png);
  return made;
}

// Whether `picture` is the cut-out: its size, and well inside each half that half's colour and
// alpha, exactly for a lossless kind and within a lossy encoder's error otherwise.
inline bool IsCutout(const TBitmap& picture, const TCutoutKind& kind) {
  const int tolerance = kind.Exact ? 0 : 12;
  const auto near = [&](int a, int b) { return std::abs(a - b) <= tolerance; };
  if (picture.Width() != CutoutWidth || picture.Height() != CutoutHeight || picture.PixelFormat() != pf32bit)
    return false;
  const TBGRA opaque = PixelOf(picture, 3, 8), clear = PixelOf(picture, CutoutWidth - 4, 8);
  return near(opaque.Blue, CutoutOpaque.Blue) && near(opaque.Green, CutoutOpaque.Green) &&
         near(opaque.Red, CutoutOpaque.Red) && near(opaque.Alpha, 255) && near(clear.Alpha, 0);
}

#pragma once
// A clipboard for tests: remembers what was put there, and can refuse, as a clipboard that another
// program holds does.
#include "toolkit/clipboard.h"

class TRecordingClipboard final : public TClipboard {
 public:
  void SetBitmap(const TBitmap& bitmap, const std::vector<TRGBQuad>& palette) override {
    if (Refuse) throw EClipboardException(SCannotOpenClipboard);
    ++Stores;
    Bitmap = bitmap;
    Palette = palette;
  }
  bool Refuse = false;
  int Stores = 0;
  TBitmap Bitmap;
  std::vector<TRGBQuad> Palette;
};

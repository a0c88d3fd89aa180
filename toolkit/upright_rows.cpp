#include "toolkit/upright_rows.h"

#include <cstring>

TUprightSize UprightSize(int storedWidth, int storedHeight, TOrientation orientation) {
  if (SwapsSides(orientation)) return {storedHeight, storedWidth};
  return {storedWidth, storedHeight};
}

TUprightRows::TUprightRows(TBitmap& target, int storedWidth, int storedHeight, TOrientation orientation)
    : target_(target), storedWidth_(storedWidth), storedHeight_(storedHeight), orientation_(orientation) {
  // Moving along a stored row moves right, left, up or down in the upright picture; the target is
  // bottom-up, so a row further down lies one stride earlier in memory.
  const auto stride = std::ptrdiff_t(target.Stride());
  switch (orientation) {
    case TOrientation::Upright:
    case TOrientation::MirroredUpsideDown: step_ = 4; break;
    case TOrientation::Mirrored:
    case TOrientation::UpsideDown: step_ = -4; break;
    case TOrientation::Transposed:
    case TOrientation::TurnedRight: step_ = -stride; break;
    case TOrientation::Transversed:
    case TOrientation::TurnedLeft: step_ = stride; break;
  }
}

// Where the first pixel of stored row y goes.
std::uint8_t* TUprightRows::RowStart(int y) const {
  const int lastX = storedWidth_ - 1;
  const int lastY = storedHeight_ - 1;
  auto at = [this](int column, int row) { return target_.ScanLine(row) + 4 * std::size_t(column); };
  switch (orientation_) {
    case TOrientation::Upright: return at(0, y);
    case TOrientation::Mirrored: return at(lastX, y);
    case TOrientation::UpsideDown: return at(lastX, lastY - y);
    case TOrientation::MirroredUpsideDown: return at(0, lastY - y);
    case TOrientation::Transposed: return at(y, 0);
    case TOrientation::TurnedRight: return at(lastY - y, 0);
    case TOrientation::Transversed: return at(lastY - y, lastX);
    case TOrientation::TurnedLeft: return at(y, lastX);
  }
  return at(0, y);
}

void TUprightRows::Place(int y, const std::uint8_t* rows, int count) const {
  const std::size_t rowBytes = 4 * std::size_t(storedWidth_);
  std::uint8_t* starts[MostRows];
  for (int k = 0; k < count; ++k) starts[k] = RowStart(y + k);
  if (step_ == 4) {
    for (int k = 0; k < count; ++k) std::memcpy(starts[k], rows + std::size_t(k) * rowBytes, rowBytes);
    return;
  }
  if (step_ == -4) {
    for (int k = 0; k < count; ++k)
      for (int x = 0; x < storedWidth_; ++x) std::memcpy(starts[k] - 4 * x, rows + std::size_t(k) * rowBytes + 4 * std::size_t(x), 4);
    return;
  }
  for (int x = 0; x < storedWidth_; ++x) {
    const std::ptrdiff_t offset = x * step_;
    for (int k = 0; k < count; ++k)
      std::memcpy(starts[k] + offset, rows + std::size_t(k) * rowBytes + 4 * std::size_t(x), 4);
  }
}

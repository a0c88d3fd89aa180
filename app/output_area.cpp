#include "app/output_area.h"

#include <algorithm>

TRect OutputRect(int clientWidth, int clientHeight, int controlColumnWidth, int statusBarHeight,
                 int imageWidth, int imageHeight) {
  TRect r;
  r.Left = (clientWidth - controlColumnWidth - imageWidth) / 2;
  r.Top = (clientHeight - statusBarHeight - imageHeight) / 2;
  r.Right = r.Left + imageWidth;
  r.Bottom = r.Top + imageHeight;
  return r;
}

namespace {

TPoint Centre(const TRect& rect) {
  return {rect.Left + (rect.Right - rect.Left) / 2, rect.Top + (rect.Bottom - rect.Top) / 2};
}

void MirrorFromSides(const TRect& rect, TDragSides sides, int& X, int& Y) {
  const TPoint c = Centre(rect);
  if (sides.Right) X = 2 * c.X - X;
  if (sides.Bottom) Y = 2 * c.Y - Y;
}

}  // namespace

TDragSides SidesOf(const TRect& rect, int X, int Y) {
  const TPoint c = Centre(rect);
  return {X >= c.X, Y >= c.Y};
}

void FoldDragPoint(const TRect& rect, int& X, int& Y) { MirrorFromSides(rect, SidesOf(rect, X, Y), X, Y); }

TDragCursor CursorAt(const TRect& r, int X, int Y) {
  const bool inside = r.Top < Y && Y < r.Bottom;
  const bool topBand = r.Top - EdgeBandReach <= Y && Y <= r.Top;
  const bool bottomBand = r.Bottom <= Y && Y <= r.Bottom + EdgeBandReach;
  if (r.Left - EdgeBandReach <= X && X <= r.Left) {
    if (inside) return crSizeWE;
    if (topBand) return crSizeNWSE;
    if (bottomBand) return crSizeNESW;
    return crDefault;
  }
  if (r.Left < X && X < r.Right) return topBand || bottomBand ? crSizeNS : crDefault;
  if (r.Right <= X && X <= r.Right + EdgeBandReach) {
    if (inside) return crSizeWE;
    if (topBand) return crSizeNESW;
    if (bottomBand) return crSizeNWSE;
  }
  return crDefault;
}

TOutputSize DraggedSize(const TRect& rect, TDragCursor cursor, TDragSides pressed, int X, int Y, int dragOffsetX,
                        int dragOffsetY) {
  const TPoint c = Centre(rect);
  MirrorFromSides(rect, pressed, X, Y);
  TOutputSize size{rect.Width(), rect.Height()};
  const bool diagonal = cursor == crSizeNWSE || cursor == crSizeNESW;
  if (cursor == crSizeWE || diagonal) size.Width = 2 * (c.X - (X - dragOffsetX));
  if (cursor == crSizeNS || diagonal) size.Height = 2 * (c.Y - (Y - dragOffsetY));
  size.Width = std::clamp(size.Width, MinOutputSize, MaxOutputSize);
  size.Height = std::clamp(size.Height, MinOutputSize, MaxOutputSize);
  return size;
}

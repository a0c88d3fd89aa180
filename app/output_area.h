#pragma once
// The geometry of the output area: where the output image sits in the window, which edge band the
// pointer is on, and the size a drag of that edge asks for. Plain functions of numbers, so that the
// window's mouse handlers stay thin.
#include "toolkit/graphics_types.h"

// The pointer shapes of the output area. Any value but crDefault means the pointer is on an edge
// band and a button press starts a size drag.
enum TDragCursor { crDefault, crSizeWE, crSizeNS, crSizeNWSE, crSizeNESW };

// How far the edge bands reach beyond the image's edge lines.
inline constexpr int EdgeBandReach = 10;
// The output size a drag keeps to, in each direction.
inline constexpr int MinOutputSize = 32;
inline constexpr int MaxOutputSize = 512;

struct TOutputSize {
  int Width = 0;
  int Height = 0;
  friend bool operator==(const TOutputSize&, const TOutputSize&) = default;
};

// The image centred in the client area left of the control column and above the status bar. The
// halving truncates toward zero, so an odd remainder leaves the extra pixel right or below, and a
// window narrower than the image gives a negative Left rounded toward zero.
TRect OutputRect(int clientWidth, int clientHeight, int controlColumnWidth, int statusBarHeight,
                 int imageWidth, int imageHeight);

// Which side of the centre of `rect` (rounded down) a point lies on, in each direction.
struct TDragSides {
  bool Right = false;
  bool Bottom = false;
};
TDragSides SidesOf(const TRect& rect, int X, int Y);

// The output area's pointer shape and the size drag in progress.
struct TDragState {
  TDragCursor Cursor = crDefault;  // the pointer shape; a drag keeps the one of its press
  bool Dragging = false;
  int DragOffsetX = 0;  // folded pointer minus the output rectangle's left edge at the press
  int DragOffsetY = 0;
  TDragSides Sides;  // the sides of the centre the press fell on
  TPoint Press;      // where the button went down
  // A secondary press on an edge starts a drag that may still be a click: the context menu waits
  // for the release and opens there unless the pointer has moved.
  bool MenuPending = false;
};

// Mirrors a point into the upper-left quadrant of `rect` (about its centre, rounded down), so that
// the right and bottom edges are handled as if they were the left and top ones.
void FoldDragPoint(const TRect& rect, int& X, int& Y);

// The pointer shape for a pointer at (X, Y) over the output area showing `rect`.
TDragCursor CursorAt(const TRect& rect, int X, int Y);

// The new output size while dragging with `cursor`: the dragged edge keeps the offset it had from
// the folded pointer when the button went down, the opposite edge mirrors it about the centre, and
// each direction is clamped to MinOutputSize..MaxOutputSize. (X, Y) is the unfolded pointer; it is
// mirrored by the sides the press fell on, not by where it is now, so that a pointer dragged inward
// past the centre keeps the size at MinOutputSize instead of growing it from the other side.
TOutputSize DraggedSize(const TRect& rect, TDragCursor cursor, TDragSides pressed, int X, int Y, int dragOffsetX,
                        int dragOffsetY);

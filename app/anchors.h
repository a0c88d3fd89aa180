#pragma once
// Anchoring of controls placed at fixed positions: a control anchored left, top and right keeps its
// left edge and its distance from the right edge of its parent when the parent changes width.
class QWidget;

// Keeps `child` `rightMargin` pixels from its parent's right edge, stretching it from its left edge.
void AnchorLeftTopRight(QWidget* child, int rightMargin);

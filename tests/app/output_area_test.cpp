// The output area's geometry as plain arithmetic: centring, folding, the edge bands and the size a
// drag asks for.
#include <QTest>

#include "app/output_area.h"
#include "tests/app/suites.h"

namespace {

class TOutputAreaTest : public QObject {
  Q_OBJECT
 private slots:
  void CentresWithTruncationTowardZero() {
    // 400 x 300 area (601 wide with the 201-pixel column, 319 high with the 19-pixel status bar).
    QCOMPARE(OutputRect(601, 319, 201, 19, 256, 256), (TRect{72, 22, 328, 278}));
    // An odd remainder leaves the extra pixel on the right and at the bottom.
    QCOMPARE(OutputRect(602, 320, 201, 19, 256, 256), (TRect{72, 22, 328, 278}));
    // An area narrower than the image: -3 / 2 rounds toward zero, to -1 (not -2).
    QCOMPARE(OutputRect(454, 272, 201, 19, 256, 256), (TRect{-1, -1, 255, 255}));
  }

  void FoldsIntoTheUpperLeftQuadrant() {
    const TRect r{72, 22, 328, 278};  // centre (200, 150)
    int x = 330, y = 100;
    FoldDragPoint(r, x, y);
    QCOMPARE(x, 70);
    QCOMPARE(y, 100);
    x = 200, y = 150;  // the centre itself folds onto itself
    FoldDragPoint(r, x, y);
    QCOMPARE(x, 200);
    QCOMPARE(y, 150);
    x = 199, y = 288;
    FoldDragPoint(r, x, y);
    QCOMPARE(x, 199);
    QCOMPARE(y, 12);
  }

  void EdgeBandsSpanElevenPositions() {
    const TRect r{100, 100, 200, 150};
    const int mid = 125;
    // Left band: 10 outside plus the first column; right band: the column past the image plus 10.
    QCOMPARE(CursorAt(r, 89, mid), crDefault);
    QCOMPARE(CursorAt(r, 90, mid), crSizeWE);
    QCOMPARE(CursorAt(r, 100, mid), crSizeWE);
    QCOMPARE(CursorAt(r, 101, mid), crDefault);
    QCOMPARE(CursorAt(r, 199, mid), crDefault);
    QCOMPARE(CursorAt(r, 200, mid), crSizeWE);
    QCOMPARE(CursorAt(r, 210, mid), crSizeWE);
    QCOMPARE(CursorAt(r, 211, mid), crDefault);
    // Top and bottom bands, between the side bands.
    QCOMPARE(CursorAt(r, 150, 89), crDefault);
    QCOMPARE(CursorAt(r, 150, 90), crSizeNS);
    QCOMPARE(CursorAt(r, 150, 100), crSizeNS);
    QCOMPARE(CursorAt(r, 150, 101), crDefault);
    QCOMPARE(CursorAt(r, 150, 149), crDefault);
    QCOMPARE(CursorAt(r, 150, 150), crSizeNS);
    QCOMPARE(CursorAt(r, 150, 160), crSizeNS);
    QCOMPARE(CursorAt(r, 150, 161), crDefault);
    // The four corners, with the diagonal that points out of each.
    QCOMPARE(CursorAt(r, 95, 95), crSizeNWSE);
    QCOMPARE(CursorAt(r, 100, 100), crSizeNWSE);
    QCOMPARE(CursorAt(r, 205, 95), crSizeNESW);
    QCOMPARE(CursorAt(r, 95, 155), crSizeNESW);
    QCOMPARE(CursorAt(r, 200, 150), crSizeNWSE);
    // Beyond a corner band, in line with a side band.
    QCOMPARE(CursorAt(r, 95, 80), crDefault);
    QCOMPARE(CursorAt(r, 205, 170), crDefault);
  }

  void DraggedSizeClampsEachDirection() {
    const TRect r{72, 22, 328, 278};
    // Past the centre or below the minimum gives 32; far out gives 512; each direction alone.
    QCOMPARE(DraggedSize(r, crSizeNWSE, {}, 195, -1000, 0, 0), (TOutputSize{32, 512}));
    QCOMPARE(DraggedSize(r, crSizeNWSE, {}, -1000, 149, 0, 0), (TOutputSize{512, 32}));
    QCOMPARE(DraggedSize(r, crSizeWE, {}, 186, 150, 0, 0), (TOutputSize{32, 256}));
    QCOMPARE(DraggedSize(r, crSizeWE, {}, 183, 150, 0, 0), (TOutputSize{34, 256}));
  }

  // The same pointer above the centre: 96 high when the top edge was pressed (its edge line is
  // there), 32 when the bottom edge was pressed and dragged up past the centre.
  void ThePressedSideDecidesPastTheCentre() {
    const TRect r{72, 22, 328, 278};  // centre (200, 150); a press at the bottom edge's Y = 280
    int x = 200, y = 280;
    const TDragSides pressed = SidesOf(r, x, y);
    QVERIFY(pressed.Bottom);
    FoldDragPoint(r, x, y);
    const int offsetY = y - r.Top;  // -2
    QCOMPARE(DraggedSize(r, crSizeNS, pressed, 200, 160, 0, offsetY), (TOutputSize{256, 32}));
    QCOMPARE(DraggedSize(r, crSizeNS, pressed, 200, 100, 0, offsetY), (TOutputSize{256, 32}));
    QCOMPARE(DraggedSize(r, crSizeNS, pressed, 200, -500, 0, offsetY), (TOutputSize{256, 32}));
    QCOMPARE(DraggedSize(r, crSizeNS, {}, 200, 100, 0, offsetY), (TOutputSize{256, 96}));
    // Back on the pressed side the edge follows the pointer again.
    QCOMPARE(DraggedSize(r, crSizeNS, pressed, 200, 250, 0, offsetY), (TOutputSize{256, 196}));
    // The same for a right-edge press dragged left past the centre.
    QCOMPARE(DraggedSize(r, crSizeWE, SidesOf(r, 330, 150), 120, 150, -2, 0), (TOutputSize{32, 256}));
  }
};

}  // namespace

std::unique_ptr<QObject> MakeOutputAreaTests() { return std::make_unique<TOutputAreaTest>(); }

#include "output_area_test.moc"

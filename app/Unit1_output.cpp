// The output area: painting the output image on black with its frame and size, the resize cursors
// of its edge bands, and the drag that changes the output size.
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QStatusBar>

#include "app/Unit1.h"
#include "app/client_area.h"
#include "app/error_handler.h"
#include "app/messages.h"
#include "app/qt_canvas.h"
#include "toolkit/alpha_image.h"

TClientArea::TClientArea(TForm1* form) : QWidget(form), form_(form) {
  setMouseTracking(true);  // the edge cursors follow the pointer without a button held
}

void TClientArea::paintEvent(QPaintEvent*) {
  Guarded([&] { form_->FormPaint(); });
}

void TClientArea::resizeEvent(QResizeEvent*) {
  Guarded([&] {
    form_->AlignControls();
    form_->FormResize();
  });
}

bool TClientArea::ForOutputArea(const QMouseEvent* event) const {
  // A press that a child control did not take travels on to its parents; it must not start a drag.
  return form_->Drag.Dragging || !childAt(event->position().toPoint());
}

void TClientArea::mousePressEvent(QMouseEvent* event) {
  if (!ForOutputArea(event)) return event->ignore();
  const QPoint p = event->position().toPoint();
  Guarded([&] { form_->FormMouseDown(event->button(), p.x(), p.y()); });
}

void TClientArea::mouseMoveEvent(QMouseEvent* event) {
  if (!ForOutputArea(event)) return event->ignore();
  const QPoint p = event->position().toPoint();
  Guarded([&] {
    // A release the window never saw (another window took the pointer) ends the drag here, so
    // that a pointer with no button held never resizes the output.
    if (form_->Drag.Dragging && event->buttons() == Qt::NoButton) form_->FormMouseUp(Qt::NoButton, p.x(), p.y());
    form_->FormMouseMove(p.x(), p.y());
  });
}

void TClientArea::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  Guarded([&] { form_->FormMouseUp(event->button(), p.x(), p.y()); });
}

void TClientArea::contextMenuEvent(QContextMenuEvent* event) {
  // A secondary press on an edge waits for its release (FormMouseUp) to tell a click from a drag.
  if (event->reason() == QContextMenuEvent::Mouse && form_->Drag.MenuPending) return;
  // The menu takes the pointer, so the release that would end a drag never reaches the window:
  // a menu that opens for any other reason ends the drag.
  form_->Drag.Dragging = false;
  form_->Drag.MenuPending = false;
  form_->PopupMenu1->popup(event->globalPos());
}

TRect TForm1::OutputRect() const {
  return ::OutputRect(ClientArea->width(), ClientArea->height(), ScrollBox1->width(), StatusBar1->height(),
                      OutputImage.Width(), OutputImage.Height());
}

void TForm1::FormPaint() {
  QPainter painter(ClientArea);
  TQtCanvas canvas(painter);
  canvas.FillRect({0, 0, ClientArea->width(), ClientArea->height()}, clBlack);
  const TRect r = OutputRect();
  CompositeOnColor(canvas, r.Left, r.Top, OutputImage, clBlack);
  // A one-pixel white frame just outside the image on all four sides.
  canvas.FrameRect({r.Left - 1, r.Top - 1, r.Right + 1, r.Bottom + 1}, clWhite);
  const QString size = QString::asprintf(SOutputSize, OutputImage.Width(), OutputImage.Height());
  painter.setFont(font());
  painter.setPen(Qt::white);
  painter.drawText(QRect(r.Left - 1, r.Bottom + 5, ClientArea->width(), ClientArea->height()),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, size);
}

void TForm1::SetCursor(TDragCursor cursor) {
  Drag.Cursor = cursor;
  static constexpr Qt::CursorShape shapes[] = {Qt::ArrowCursor, Qt::SizeHorCursor, Qt::SizeVerCursor,
                                                Qt::SizeFDiagCursor, Qt::SizeBDiagCursor};
  ClientArea->setCursor(shapes[cursor]);
}

void TForm1::FormMouseDown(Qt::MouseButton Button, int X, int Y) {
  if (Drag.Cursor == crDefault) return;
  const TRect r = OutputRect();
  Drag.Dragging = true;
  Drag.MenuPending = Button == Qt::RightButton;
  Drag.Press = {X, Y};
  Drag.Sides = SidesOf(r, X, Y);
  FoldDragPoint(r, X, Y);
  Drag.DragOffsetX = X - r.Left;
  Drag.DragOffsetY = Y - r.Top;
}

void TForm1::FormMouseMove(int X, int Y) {
  if (!Drag.Dragging) {
    SetCursor(CursorAt(OutputRect(), X, Y));
    return;
  }
  if (X != Drag.Press.X || Y != Drag.Press.Y) Drag.MenuPending = false;  // a drag, not a click
  // Every move re-sizes, re-renders and repaints, also when the size stays the same.
  const TOutputSize size = DraggedSize(OutputRect(), Drag.Cursor, Drag.Sides, X, Y, Drag.DragOffsetX, Drag.DragOffsetY);
  ResizeOutput(size.Width, size.Height);
  SceneChanged();
}

void TForm1::FormMouseUp(Qt::MouseButton Button, int X, int Y) {
  const bool click = Drag.Dragging && Drag.MenuPending && Button == Qt::RightButton;
  Drag.Dragging = false;
  Drag.MenuPending = false;
  if (click) PopupMenu1->popup(ClientArea->mapToGlobal(QPoint(X, Y)));
}

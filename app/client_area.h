#pragma once
// The main window's client area below the menu bar. The output area is painted on it and its
// mouse and size events go to the window's handlers; the control column and the status bar are
// its children.
#include <QWidget>

class TForm1;

class TClientArea final : public QWidget {
 public:
  explicit TClientArea(TForm1* form);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // Whether a mouse event concerns the output area: it lies on no child control, or a drag that
  // began on the output area is in progress.
  bool ForOutputArea(const QMouseEvent* event) const;

  TForm1* form_;
};

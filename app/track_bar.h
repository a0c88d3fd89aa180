#pragma once
// TTrackBar: a horizontal slider with a tick at every value below the track, moving one step per key
// or click. Its Change signal follows the user, not only the value: every scroll notification
// (arrow and page keys, a click on the track, each step of thumb tracking, releasing the thumb)
// raises it once, even when the position ends up where it was, so the picture is redrawn on each
// of them. A position set from code raises it only when the value really changes.
#include <QSlider>

class TTrackBar : public QSlider {
  Q_OBJECT
 public:
  TTrackBar(int minimum, int maximum, int position, QWidget* parent = nullptr);

  int Position() const { return value(); }
  void SetPosition(int position) { setValue(position); }

 signals:
  void Change();

 protected:
  // The wheel moves only the slider that has the focus; over any other it scrolls the control
  // column, so that scrolling the column never changes the picture by accident.
  void wheelEvent(QWheelEvent* event) override;

 private:
  void ScrollNotification();
};

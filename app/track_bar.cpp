#include "app/track_bar.h"

#include <QWheelEvent>

TTrackBar::TTrackBar(int minimum, int maximum, int position, QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setRange(minimum, maximum);
  setValue(position);
  setSingleStep(1);
  setPageStep(1);
  setTickPosition(QSlider::TicksBelow);
  setTickInterval(1);
  setTracking(true);
  connect(this, &QAbstractSlider::valueChanged, this, &TTrackBar::Change);
  connect(this, &QAbstractSlider::actionTriggered, this, &TTrackBar::ScrollNotification);
  connect(this, &QAbstractSlider::sliderReleased, this, &TTrackBar::Change);
}

void TTrackBar::ScrollNotification() {
  // The slider has moved its position but not yet its value. Taking the position now lets the
  // handler read the new value, and raises Change once whether or not the value moves.
  if (sliderPosition() != value()) {
    setValue(sliderPosition());  // raises Change through valueChanged
  } else {
    emit Change();
  }
}

void TTrackBar::wheelEvent(QWheelEvent* event) {
  if (!hasFocus()) {
    event->ignore();  // passes on to the scroll box around the sliders
    return;
  }
  QSlider::wheelEvent(event);
}

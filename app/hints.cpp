#include "app/hints.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QCoreApplication>
#include <QEvent>
#include <QMenu>
#include <QVariant>
#include <QWidget>

namespace {

constexpr const char* HintProperty = "rflHint";

}  // namespace

QString GetLongHint(const QString& hint) {
  const qsizetype bar = hint.indexOf(QLatin1Char('|'));
  return bar < 0 ? hint : hint.mid(bar + 1);
}

void SetHint(QObject* object, const QString& hint) { object->setProperty(HintProperty, hint); }

void SetLongHint(QObject* object, const QString& longHint) { SetHint(object, QLatin1Char('|') + longHint); }

bool HasHint(const QObject* object) {
  const QVariant value = object->property(HintProperty);
  return value.isValid() && !value.toString().isEmpty();
}

QString Hint(const QObject* object) { return object->property(HintProperty).toString(); }

QString HintOver(const QWidget* widget) {
  for (const QWidget* w = widget; w; w = w->parentWidget()) {
    if (HasHint(w)) return Hint(w);
    if (w->isWindow()) break;
  }
  return QString();
}

THintTracker::THintTracker(QObject* parent) : QObject(parent) {
  QCoreApplication::instance()->installEventFilter(this);
}

THintTracker::~THintTracker() {
  if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
}

void THintTracker::TrackMenu(QMenu* menu) {
  connect(menu, &QMenu::hovered, this, [this](QAction* action) { SetCurrentHint(Hint(action)); });
  connect(menu, &QMenu::aboutToHide, this, [this] { SetCurrentHint(QString()); });
}

bool THintTracker::eventFilter(QObject* watched, QEvent* event) {
  if (!watched->isWidgetType()) return false;
  const auto* widget = static_cast<QWidget*>(watched);
  if (event->type() == QEvent::Enter) {
    SetCurrentHint(HintOver(widget));
  } else if (event->type() == QEvent::Leave && !widget->isWindow()) {
    // Leaving a control for its parent raises no enter event on the parent, so the hint follows
    // the widget now under the pointer. When the pointer left the window altogether the whole
    // chain of leave events arrives and nothing of this window is under it: the last hint stays.
    const QWidget* under = QApplication::widgetAt(QCursor::pos());
    if (under && under->window() == widget->window()) SetCurrentHint(HintOver(under));
  }
  return false;
}

void THintTracker::SetCurrentHint(const QString& hint) {
  if (hint == hint_) return;
  hint_ = hint;
  emit OnHint();
}

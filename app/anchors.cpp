#include "app/anchors.h"

#include <QEvent>
#include <QObject>
#include <QWidget>
#include <algorithm>

namespace {

class TRightAnchor final : public QObject {
 public:
  TRightAnchor(QWidget* child, int rightMargin) : QObject(child), child_(child), rightMargin_(rightMargin) {
    child->parentWidget()->installEventFilter(this);
    Follow();
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Resize) Follow();
    return false;
  }

 private:
  void Follow() {
    const int width = child_->parentWidget()->width() - child_->x() - rightMargin_;
    child_->resize(std::max(0, width), child_->height());
  }

  QWidget* child_;
  int rightMargin_;
};

}  // namespace

void AnchorLeftTopRight(QWidget* child, int rightMargin) { new TRightAnchor(child, rightMargin); }

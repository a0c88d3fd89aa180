#pragma once
// Hints. Every control and command may carry a hint "short|long"; the program's hints all have an
// empty short part, so no tooltip ever appears and the long part goes to the status bar. The hint in
// force is the one of the control under the pointer, or of its nearest ancestor that has one, or
// that of the highlighted menu item.
#include <QObject>
#include <QString>

class QMenu;
class QWidget;

// The part of a hint after the first "|", or the whole hint when it has no "|".
QString GetLongHint(const QString& hint);

// A control's or a command's own hint. An object without one shows its ancestor's; "|" alone is a
// hint of its own that shows a blank status bar.
void SetHint(QObject* object, const QString& hint);
// Sets the hint "|longHint": no tooltip, the text in the status bar. An empty text gives the blank
// hint of its own.
void SetLongHint(QObject* object, const QString& longHint);
bool HasHint(const QObject* object);
QString Hint(const QObject* object);

// The hint in force over `widget`: its own or its nearest ancestor's within its window.
QString HintOver(const QWidget* widget);

// Follows the pointer across the widgets of the application and the highlighted items of the menus
// it is told about, and announces each change of the current hint.
class THintTracker : public QObject {
  Q_OBJECT
 public:
  explicit THintTracker(QObject* parent = nullptr);
  ~THintTracker() override;

  // The application's current hint (whole, short and long part).
  QString CurrentHint() const { return hint_; }
  // Shows the hint of the item the user highlights in `menu`.
  void TrackMenu(QMenu* menu);

 signals:
  // The current hint changed.
  void OnHint();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SetCurrentHint(const QString& hint);

  QString hint_;
};

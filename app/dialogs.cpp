#include "app/dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QStringList>
#include <QWindow>

#include "app/readable_file_dialog.h"

std::vector<TFileFilter> ParseFilter(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  std::vector<TFileFilter> entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) entries.push_back({parts[i], parts[i + 1]});
  return entries;
}

QString WithDefaultExtension(const QString& fileName, const QString& defaultExt) {
  if (defaultExt.isEmpty() || QFileInfo(fileName).fileName().contains(QLatin1Char('.'))) return fileName;
  return fileName + QLatin1Char('.') + defaultExt;
}

QString WithExtension(const QString& fileName, const QString& extension) {
  const qsizetype nameStart = fileName.lastIndexOf(QLatin1Char('/')) + 1;
  const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
  return (dot >= nameStart ? fileName.left(dot) : fileName) + QLatin1Char('.') + extension;
}

namespace {

// Qt reads the patterns of a filter from the last parentheses of its text, separated by spaces;
// HideNameFilterDetails keeps those added parentheses out of sight, so the user reads the
// description exactly. "*.*" means every file, also one whose name has no dot.
QStringList QtNameFilters(const std::vector<TFileFilter>& entries) {
  QStringList filters;
  for (const TFileFilter& entry : entries) {
    QStringList patterns = entry.Patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& p : patterns) {
      p = p.trimmed();
      if (p == QLatin1String("*.*")) p = QStringLiteral("*");
    }
    filters << entry.Description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return filters;
}

void Prepare(QFileDialog& dialog, const TFileDialogRequest& request) {
  // Qt's own dialog, not the desktop's: a desktop dialog shows a filter only up to its first
  // parenthesis (so the two JPEG entries, which differ only in theirs, read alike), and checks for
  // overwriting the name as typed, before the default extension is added to it.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (!request.Title.isEmpty()) dialog.setWindowTitle(request.Title);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  const QStringList filters = QtNameFilters(ParseFilter(request.Filter));
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    const int index = request.FilterIndex >= 1 && request.FilterIndex <= filters.size() ? request.FilterIndex : 1;
    dialog.selectNameFilter(filters[index - 1]);
  }
  if (!request.FileName.isEmpty()) dialog.selectFile(request.FileName);
  MakeReadable(dialog);
}

std::optional<QString> Run(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.first();
}

// Stands `window` (shown, or being shown, at its final size) in the middle of the available area of
// the screen that holds `owner`, frame included, and answers the frame it allowed for. A window
// manager frames the window only once it is on screen; until then its frame is taken to be the
// owner's.
QMargins CentreOnScreenOf(QWidget& window, const QWidget* owner) {
  const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
  QMargins frame;
  if (const QWindow* own = window.windowHandle(); own && !own->frameMargins().isNull()) {
    frame = own->frameMargins();
  } else if (const QWindow* ownerWindow = owner ? owner->window()->windowHandle() : nullptr) {
    frame = ownerWindow->frameMargins();
  }
  if (screen == nullptr) return frame;
  const QRect area = screen->availableGeometry();
  const QSize outer = window.size().grownBy(frame);
  const QPoint inner(area.left() + (area.width() - outer.width()) / 2 + frame.left(),
                     area.top() + (area.height() - outer.height()) / 2 + frame.top());
  // The inner rectangle, not the frame's corner: before the window is framed, a move would be
  // taken as the place of the inner window by some platforms and of the frame by others.
  window.setGeometry(QRect(inner, window.size()));
  return frame;
}

// Qt's message box, placed as asked. A message box settles its size only as it is shown, so it is
// placed then, before it appears; in the middle of the screen it is placed again once the window
// manager's frame is known, should that differ from the frame allowed for (a fixed-size box may
// lack the resize handle of its owner's frame).
class TMessageBox final : public QMessageBox {
 public:
  TMessageBox(QWidget* owner, TMessagePlace place) : QMessageBox(owner), place_(place) {}

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    if (place_ != TMessagePlace::ScreenCentre) return;
    frame_ = CentreOnScreenOf(*this, parentWidget());
    // A manager that keeps the place asked for sends no move: its frame shows by the first expose.
    if (windowHandle()) windowHandle()->installEventFilter(this);
  }
  void moveEvent(QMoveEvent* event) override {
    QMessageBox::moveEvent(event);
    FollowFrame();
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == windowHandle() && event->type() == QEvent::Expose) FollowFrame();
    return QMessageBox::eventFilter(watched, event);
  }

 private:
  void FollowFrame() {
    if (place_ != TMessagePlace::ScreenCentre || !windowHandle()) return;
    const QMargins frame = windowHandle()->frameMargins();
    if (!frame.isNull() && frame != frame_) frame_ = CentreOnScreenOf(*this, parentWidget());
  }

  TMessagePlace place_;
  QMargins frame_;  // the frame the last placement allowed for
};

}  // namespace

void TQtDialogs::ShowMessage(QWidget* owner, const QString& caption, const QString& text, TMessageIcon icon,
                             TMessagePlace place) {
  TMessageBox box(owner, place);
  box.setWindowTitle(caption);
  box.setTextFormat(Qt::PlainText);
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
  box.setText(shown);
  switch (icon) {
    case TMessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case TMessageIcon::Information: box.setIcon(QMessageBox::Information); break;
    case TMessageIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case TMessageIcon::Error: box.setIcon(QMessageBox::Critical); break;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

std::optional<QString> TQtDialogs::OpenFile(QWidget* owner, const TFileDialogRequest& request) {
  QFileDialog dialog(owner);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  Prepare(dialog, request);
  return Run(dialog);
}

std::optional<QString> TQtDialogs::SaveFile(QWidget* owner, const TFileDialogRequest& request) {
  QFileDialog dialog(owner);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(request.DefaultExt);
  Prepare(dialog, request);
  return Run(dialog);
}

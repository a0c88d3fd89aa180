#include "app/dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

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

}  // namespace

void TQtDialogs::ShowMessage(QWidget* owner, const QString& caption, const QString& text, TMessageIcon icon) {
  QMessageBox box(owner);
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

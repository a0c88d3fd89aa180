#include "app/readable_file_dialog.h"

#include <QAbstractItemView>
#include <QDateTime>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLayout>
#include <QLocale>
#include <QMimeDatabase>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTreeView>
#include <algorithm>
#include <array>

namespace {

// The columns of Qt's file list.
enum TFileColumn { fcName, fcSize, fcType, fcDate, fcCount };

// The file list's sizes and dates in the program's locale; Qt writes them in the desktop's. Qt's
// translations also lack the type of a folder, which the type database names in the locale.
class TLocaleFileColumns final : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;

  QVariant data(const QModelIndex& index, int role) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (role == Qt::DisplayRole && files != nullptr) {
      const QModelIndex source = mapToSource(index);
      switch (index.column()) {
        case fcSize:
          if (!files->isDir(source)) return QLocale().formattedDataSize(files->size(source));
          break;
        case fcType:
          if (files->isDir(source)) return folderType_;
          break;
        case fcDate:
          return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
      }
    }
    return QIdentityProxyModel::data(index, role);
  }

 private:
  const QString folderType_ = QMimeDatabase().mimeTypeForName(QStringLiteral("inode/directory")).comment();
};

// The widest usual entry of each column, in the program's locale; empty where Qt's own width serves.
std::array<QString, fcCount> WidestEntries() {
  std::array<QString, fcCount> entries;
  const QLocale locale;
  entries[fcSize] = locale.formattedDataSize(Q_INT64_C(1023) * 1024 * 1024 + 1013 * 1024);  // 1,023.99 MiB
  entries[fcDate] = locale.toString(QDateTime(QDate(2000, 12, 28), QTime(23, 59)), QLocale::ShortFormat);
  const QMimeDatabase types;
  for (const char* name :
       {"image/bmp", "image/jpeg", "image/png", "image/webp", "image/heif", "image/heic", "image/avif", "inode/directory"}) {
    const QString comment = types.mimeTypeForName(QString::fromLatin1(name)).comment();
    if (comment.size() > entries[fcType].size()) entries[fcType] = comment;
  }
  return entries;
}

}  // namespace

void MakeReadable(QFileDialog& dialog) {
  auto* proxy = new TLocaleFileColumns(&dialog);
  dialog.setProxyModel(proxy);  // the dialog owns it

  // Qt's widget dialog names its parts; without them (another Qt) it keeps its own sizes.
  auto* places = dialog.findChild<QAbstractItemView*>(QStringLiteral("sidebar"));
  auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
  auto* splitter = dialog.findChild<QSplitter*>(QStringLiteral("splitter"));
  if (places == nullptr || list == nullptr || splitter == nullptr || dialog.layout() == nullptr) return;
  dialog.ensurePolished();

  // Each column at least as wide as its title and its widest usual entry; wider ones (the user's,
  // as Qt remembers them) stay.
  const QFontMetrics metrics(list->font());
  const int padding = 2 * metrics.averageCharWidth();  // the item's margins, with room to spare
  const std::array<QString, fcCount> widest = WidestEntries();
  QHeaderView* header = list->header();
  int columns = 0;
  for (int c = 0; c < header->count(); ++c) {
    int width = std::max(header->sectionSize(c), header->sectionSizeHint(c));
    if (c < fcCount && !widest[c].isEmpty()) width = std::max(width, metrics.horizontalAdvance(widest[c]) + padding);
    header->resizeSection(c, width);
    columns += width;
  }
  const int listWidth = columns + list->verticalScrollBar()->sizeHint().width() + 2 * list->frameWidth();
  const int placesWidth = std::max(places->sizeHintForColumn(0) + metrics.averageCharWidth() + 2 * places->frameWidth(),
                                   splitter->sizes().value(0));
  splitter->setSizes({placesWidth, listWidth});

  const QMargins margins = dialog.layout()->contentsMargins();
  int width = placesWidth + splitter->handleWidth() + listWidth + margins.left() + margins.right();
  if (const QScreen* screen = dialog.screen()) width = std::min(width, screen->availableGeometry().width());
  dialog.resize(std::max(dialog.width(), width), dialog.height());
}

#include "app/qt_clipboard.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>
#include <cstring>
#include <optional>

#include "app/qt_canvas.h"

QImage ClipboardImage(const TBitmap& bitmap, const std::vector<TRGBQuad>& palette) {
  switch (bitmap.PixelFormat()) {
    case pf24bit:
      return RowsToQImage(bitmap, QImage::Format_BGR888);
    case pf32bit:
      return RowsToQImage(bitmap, QImage::Format_ARGB32);
    case pf8bit: {
      QImage image = RowsToQImage(bitmap, QImage::Format_Indexed8);
      QList<QRgb> table;
      for (const TRGBQuad& q : palette) table.append(qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue));
      while (table.size() < 256) table.append(qRgb(0, 0, 0));  // indices beyond the table show black
      image.setColorTable(table);
      return image;
    }
    default:
      return RowsToQImage(ConvertTo32Bit(bitmap), QImage::Format_RGB32);
  }
}

namespace {

// What browsers and editors put on the clipboard for a copied picture, with its alpha.
const QString PngType = QStringLiteral("image/png");

// The clipboard's data, or none when the application has no clipboard.
const QMimeData* ClipboardData() {
  const QClipboard* clipboard = QGuiApplication::clipboard();
  return clipboard == nullptr ? nullptr : clipboard->mimeData();
}

// The one local file a file manager copied; several files, or an address elsewhere, are none.
std::optional<QString> OneLocalFile(const QMimeData& data) {
  if (!data.hasUrls()) return std::nullopt;
  const QList<QUrl> urls = data.urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return std::nullopt;
  return urls.front().toLocalFile();
}

}  // namespace

TBitmap ClipboardBitmap(const QImage& image) {
  CheckImageSize(image.width(), image.height(), 32);
  // Straight, not premultiplied: the colours as the picture shows them where it is opaque.
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  TBitmap bitmap(argb.width(), argb.height(), pf32bit);
  for (int y = 0; y < argb.height(); ++y)
    std::memcpy(bitmap.ScanLine(y), argb.constScanLine(y), std::size_t(argb.width()) * 4);
  return bitmap;
}

TClipboardPicture TQtClipboard::GetPicture() const {
  const QMimeData* data = ClipboardData();
  if (data == nullptr) return {};
  TClipboardPicture picture;
  if (const auto file = OneLocalFile(*data)) {
    picture.Kind = TClipboardPicture::TKind::File;
    picture.FileName = QFile::encodeName(*file).toStdString();
  } else if (data->hasFormat(PngType)) {
    picture.Kind = TClipboardPicture::TKind::PNG;
    const QByteArray bytes = data->data(PngType);
    picture.Bytes.assign(bytes.begin(), bytes.end());
  } else if (data->hasImage()) {
    const QImage image = qvariant_cast<QImage>(data->imageData());
    if (image.isNull()) return {};
    picture.Kind = TClipboardPicture::TKind::Bitmap;
    picture.Bitmap = ClipboardBitmap(image);
  }
  return picture;
}

bool TQtClipboard::HasPicture() const {
  const QMimeData* data = ClipboardData();
  return data != nullptr && (OneLocalFile(*data) || data->hasFormat(PngType) || data->hasImage());
}

void TQtClipboard::SetBitmap(const TBitmap& bitmap, const std::vector<TRGBQuad>& palette) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) throw EClipboardException(SCannotOpenClipboard);
  clipboard->setImage(ClipboardImage(bitmap, palette));
}

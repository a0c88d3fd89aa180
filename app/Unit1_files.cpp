// TForm1's file commands: loading a picture (open dialog and drop), the exports and the copy, and
// the About box and website commands.
#include <QFile>

#include "app/Unit1.h"
#include "app/application.h"
#include "app/author.h"
#include "picture/export.h"
#include "picture/loading.h"
#include "picture/png/RFLPNG.h"
#include "render/final.h"
#include "toolkit/jpeg_image.h"
#include "toolkit/picture_registry.h"
#include "toolkit/version_info.h"

namespace {

std::string FileSystemName(const QString& fileName) { return QFile::encodeName(fileName).toStdString(); }

// The open dialog's first entry lists every kind the program reads.
const QString SupportedPicturesFilter = QStringLiteral("対応形式 (*.bmp; *.jpg; *.jpeg)|*.bmp;*.jpg;*.jpeg|");

}  // namespace

void TForm1::actOpenExecute() {
  TFileDialogRequest request;
  request.Filter = SupportedPicturesFilter + QString::fromStdString(GraphicFilter(BitmapClass)) + QLatin1Char('|') +
                   QString::fromStdString(GraphicFilter(JPEGImageClass));
  request.FilterIndex = 1;
  if (const auto fileName = Dialogs().OpenFile(this, request)) LoadSourceImage(*fileName);
}

void TForm1::WMDropFiles(const QList<QUrl>& urls) {
  // Only a single dropped file is taken; several at once are ignored without a word.
  if (urls.size() != 1 || !urls.front().isLocalFile()) return;
  LoadSourceImage(urls.front().toLocalFile());
}

void TForm1::LoadSourceImage(const QString& fileName) {
  const std::string name = FileSystemName(fileName);
  const TPictureKind kind = PictureKindOf(name);
  if (kind == TPictureKind::None) {
    Dialogs().ShowMessage(this, QStringLiteral("エラー"), QString::fromStdString(UnsupportedPictureMessage(name)),
                          TMessageIcon::Error);
    return;
  }
  // Read completely before anything changes, so that a failed read keeps the current picture.
  SourceImage = ReadSourcePicture(name, kind);
  UpdateImageFrame();  // the picture's proportions may have changed
  SceneChanged();
}

TRenderingSource TForm1::RenderingSource() {
  return [this] {
    return ::TakeRendering(Scene, ReflectionSliders(), SourceImage, OutputImage, [this] { RepaintWindow(); }, true);
  };
}

std::optional<std::string> TForm1::AskSaveName(const QString& title, const TGraphicClass& pictureClass) {
  TFileDialogRequest request;
  request.Title = title;
  request.Filter = QString::fromStdString(GraphicFilter(pictureClass)) + QStringLiteral("|すべてのファイル|*.*");
  request.FilterIndex = 1;
  request.DefaultExt = QString::fromStdString(GraphicExtension(pictureClass));
  // The last name comes back with this export's extension: confirming it as offered must not put
  // PNG data under a .bmp name, or the reverse.
  if (!LastSaveName.isEmpty()) request.FileName = WithExtension(LastSaveName, request.DefaultExt);
  const auto chosen = Dialogs().SaveFile(this, request);
  if (!chosen) return std::nullopt;
  LastSaveName = WithDefaultExtension(*chosen, request.DefaultExt);
  return FileSystemName(LastSaveName);
}

void TForm1::actExportBMP24Execute() {
  if (const auto fileName = AskSaveName(QStringLiteral("BMP形式で書き出し"), BitmapClass))
    ExportBMP24(RenderingSource(), *fileName);
}

void TForm1::actExportBMP32Execute() {
  if (const auto fileName = AskSaveName(QStringLiteral("アルファチャンネル付きBMP形式で書き出し"), BitmapClass))
    ExportBMP32(RenderingSource(), *fileName);
}

void TForm1::actExportPNGExecute() {
  if (const auto fileName = AskSaveName(QStringLiteral("PNG形式で書き出し"), RFLPNGClass))
    ExportPNG(RenderingSource(), *fileName, Clipboard());
}

void TForm1::actCopyExecute() { CopyToClipboard(RenderingSource(), Clipboard()); }

void TForm1::actAboutExecute() {
  const std::string file = FileSystemName(VersionFile);
  const std::string productName = ReadVersionString(file, VersionProductName);
  const std::string productVersion = ReadVersionString(file, VersionProductVersion);
  const std::string legalCopyright = ReadVersionString(file, VersionLegalCopyright);
  const std::string text = productName + " Version" + productVersion + "\r" + legalCopyright + "\r" + AuthorHomePage;
  Dialogs().ShowMessage(this, ApplicationTitle(), QString::fromStdString(text), TMessageIcon::None);
}

void TForm1::actWebsiteExecute() { OpenAddress(QUrl(QString::fromUtf8(AuthorHomePage))); }

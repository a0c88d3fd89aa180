// TForm1's file commands: loading a picture (open dialog, drop and paste), the exports and the copy,
// and the About box and website commands.
#include <QFile>

#include "app/Unit1.h"
#include "app/application.h"
#include "app/messages.h"
#include "picture/export.h"
#include "picture/loading.h"
#include "picture/png/RFLPNG.h"
#include "render/final.h"
#include "toolkit/jpeg_image.h"
#include "toolkit/picture_registry.h"
#include "toolkit/version_info.h"

namespace {

std::string FileSystemName(const QString& fileName) { return QFile::encodeName(fileName).toStdString(); }

}  // namespace

void TForm1::actOpenExecute() {
  TFileDialogRequest request;
  request.Filter = QString::fromUtf8(SFilterSupported) + QLatin1Char('|') +
                   QString::fromStdString(GraphicFilter(BitmapClass)) + QLatin1Char('|') +
                   QString::fromStdString(GraphicFilter(JPEGImageClass)) + QLatin1Char('|') +
                   QString::fromUtf8(SFilterDecodedKinds);
  request.FilterIndex = 1;
  if (const auto fileName = Dialogs().OpenFile(this, request)) LoadSourceImage(*fileName);
}

void TForm1::actPasteExecute() {
  // As a drop would: a file copied in a file manager loads as that file. A PNG goes through the PNG
  // reader, keeping its alpha and its bytes as the file's; any other picture is the clipboard's
  // bitmap, which carries no alpha a program could rely on. A pasted picture has no name.
  TClipboardPicture pasted = Clipboard().GetPicture();
  switch (pasted.Kind) {
    case TClipboardPicture::TKind::None:
      return;
    case TClipboardPicture::TKind::File:
      LoadSourceImage(QFile::decodeName(QByteArray::fromStdString(pasted.FileName)));
      return;
    case TClipboardPicture::TKind::PNG: {
      TMemoryStream stream(std::move(pasted.Bytes));
      ShowSourceImage(ReadSourcePicture(stream, TPictureKind::Png));
      return;
    }
    case TClipboardPicture::TKind::Bitmap:
      MakeOpaque(pasted.Bitmap);
      ShowSourceImage(std::move(pasted.Bitmap));
      return;
  }
}

void TForm1::UpdatePasteCommand() { actPaste->setEnabled(Clipboard().HasPicture()); }

void TForm1::WMDropFiles(const QList<QUrl>& urls) {
  // Only a single dropped file is taken; several at once are ignored without a word.
  if (urls.size() != 1 || !urls.front().isLocalFile()) return;
  LoadSourceImage(urls.front().toLocalFile());
}

void TForm1::LoadSourceImage(const QString& fileName) {
  const std::string name = FileSystemName(fileName);
  const TPictureKind kind = PictureKindOf(name);
  if (kind == TPictureKind::None) {
    Dialogs().ShowMessage(this, SCaptionError, QString::fromStdString(UnsupportedPictureMessage(name)),
                          TMessageIcon::Error, TMessagePlace::OverOwner);
    return;
  }
  // Read completely before anything changes, so that a failed read keeps the current picture.
  ShowSourceImage(ReadSourcePicture(name, kind));
}

void TForm1::ShowSourceImage(TBitmap picture) {
  SourceImage = std::move(picture);
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
  request.Filter =
      QString::fromStdString(GraphicFilter(pictureClass)) + QLatin1Char('|') + QString::fromUtf8(SFilterAllFiles);
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
  if (const auto fileName = AskSaveName(STitleExportBMP24, BitmapClass))
    ExportBMP24(RenderingSource(), *fileName);
}

void TForm1::actExportBMP32Execute() {
  if (const auto fileName = AskSaveName(STitleExportBMP32, BitmapClass))
    ExportBMP32(RenderingSource(), *fileName);
}

void TForm1::actExportPNGExecute() {
  if (const auto fileName = AskSaveName(STitleExportPNG, RFLPNGClass))
    ExportPNG(RenderingSource(), *fileName, Clipboard());
}

void TForm1::actCopyExecute() { CopyToClipboard(RenderingSource(), Clipboard()); }

void TForm1::actAboutExecute() {
  const std::string file = FileSystemName(VersionFile);
  const std::string productName = ReadVersionString(file, VersionProductName);
  const std::string productVersion = ReadVersionString(file, VersionProductVersion);
  const std::string legalCopyright = ReadVersionString(file, VersionLegalCopyright);
  const QString text = QString::fromUtf8(SAboutText)
                           .arg(QString::fromStdString(productName), QString::fromStdString(productVersion),
                                QString::fromStdString(legalCopyright), QString::fromUtf8(AuthorHomePage));
  Dialogs().ShowMessage(this, ApplicationTitle(), text, TMessageIcon::None, TMessagePlace::ScreenCentre);
}

void TForm1::actWebsiteExecute() { OpenAddress(QUrl(QString::fromUtf8(AuthorHomePage))); }

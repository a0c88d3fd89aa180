// Program entry: the application, its title, the main window and the message loop.
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QPainter>
#include <QPixmap>
#include <cstring>

#include "render/reflection.h"

namespace {

// The start-up rendering (one white pixel standing on the floor line, default sliders) composited
// onto black.
QPixmap DefaultRendering() {
  TBitmap SourceImage(1, 1, pf32bit);
  std::memset(SourceImage.Bits(), 0xFF, SourceImage.BitsSize());
  TBitmap OutputImage(256, 256, pf32bit);
  TScene scene;
  CreateScene(scene, {}, SourceImage.Width(), SourceImage.Height(), OutputImage.Width(), OutputImage.Height());
  RenderReflection(scene, {}, SourceImage, OutputImage, false);

  // Blue, green, red, alpha bytes are QImage's ARGB32 on a little-endian machine.
  QImage rendering(OutputImage.Width(), OutputImage.Height(), QImage::Format_ARGB32);
  for (int y = 0; y < OutputImage.Height(); ++y)
    std::memcpy(rendering.scanLine(y), OutputImage.ScanLine(y), std::size_t(OutputImage.Width()) * 4);
  QPixmap pixmap(rendering.size());
  pixmap.fill(Qt::black);
  QPainter(&pixmap).drawImage(0, 0, rendering);
  return pixmap;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationDisplayName(QString());
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("ルフレミナ"));
  window.resize(674, 509);
  auto* output = new QLabel(&window);
  output->setAlignment(Qt::AlignCenter);
  output->setPixmap(DefaultRendering());
  window.setCentralWidget(output);
  window.show();
  return application.exec();
}

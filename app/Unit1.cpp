#include "app/Unit1.h"

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QStatusBar>
#include <QWindow>

#include "app/application.h"
#include "app/command_line.h"
#include "app/error_handler.h"
#include "app/hints.h"
#include "app/messages.h"
#include "app/qt_clipboard.h"
#include "app/track_bar.h"
#include "render/final.h"

namespace {

constexpr int OuterWidth = 674;
constexpr int OuterHeight = 509;
constexpr int InitialOutputSize = 256;

}  // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent),
      VersionFile(QCoreApplication::applicationFilePath()),
      OpenAddress([](const QUrl& address) { QDesktopServices::openUrl(address); }),
      dialogs_(std::make_unique<TQtDialogs>()),
      clipboard_(std::make_unique<TQtClipboard>()) {
  CreateControls();
  CreateActions();
  CreateMenus();
  resize(OuterWidth, OuterHeight);
  FormCreate();
}

TForm1::~TForm1() { FormDestroy(); }

void TForm1::SetDialogs(std::unique_ptr<TDialogs> dialogs) {
  ReleaseErrorDialogs(dialogs_.get());
  dialogs_ = std::move(dialogs);
  SetErrorDialogs(dialogs_.get(), this);
}

void TForm1::SetClipboard(std::unique_ptr<TClipboard> clipboard) {
  clipboard_ = std::move(clipboard);
  UpdatePasteCommand();
}

void TForm1::FormCreate() {
  const QString title = ApplicationTitle();
  setWindowTitle(title);
  // Qt paints every widget into a back buffer first; the output area also paints all of its
  // pixels itself, so nothing is erased in between and nothing flickers.
  ClientArea->setAttribute(Qt::WA_OpaquePaintEvent);
  setAcceptDrops(true);
  SetLongHint(actExit, QString::fromUtf8(SHintExit).arg(title));
  SetLongHint(actAbout, QString::fromUtf8(SHintAbout).arg(title));
  SetErrorDialogs(dialogs_.get(), this);
  // The paste command follows what the desktop's clipboard holds.
  if (QClipboard* system = QGuiApplication::clipboard())
    connect(system, &QClipboard::dataChanged, this, [this] { Guarded([&] { UpdatePasteCommand(); }); });
  UpdatePasteCommand();

  SourceImage.Create(1, 1, pf32bit);
  TBGRA* white = reinterpret_cast<TBGRA*>(SourceImage.ScanLine(0));
  *white = TBGRA{0xFF, 0xFF, 0xFF, 0xFF};
  OutputImage.Create(InitialOutputSize, InitialOutputSize, pf32bit);

  CreateScene(Scene, SceneSliders(), SourceImage.Width(), SourceImage.Height(), OutputImage.Width(),
              OutputImage.Height());
  RenderPreview();
}

void TForm1::FormDestroy() {
  ReleaseErrorDialogs(dialogs_.get());
  SourceImage = TBitmap();
  OutputImage = TBitmap();
  Scene.ImageFrame = Scene.ReflectionFrame = Scene.CameraFrame = nullptr;
  Scene.RootFrame.reset();
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (placement_ != TPlacement::Unplaced) return;
  // A manager that keeps the place asked for sends no move: its frame shows by the first expose.
  if (windowHandle()) windowHandle()->installEventFilter(this);
  Place();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == windowHandle() && event->type() == QEvent::Expose) FollowFrame();
  return QMainWindow::eventFilter(watched, event);
}

void TForm1::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  FollowFrame();
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FollowFrame();
}

void TForm1::Place() {
  const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
  QPoint outer = pos();
  if (const QScreen* screen = this->screen()) {
    const QRect area = screen->availableGeometry();
    outer = {area.left() + (area.width() - OuterWidth) / 2, area.top() + (area.height() - OuterHeight) / 2};
  }
  // The inner rectangle is asked for, not the frame's corner: just after the manager has framed
  // the window, Qt may still take the frame to stand where the inner window is, and would drop a
  // move to that corner as no move at all.
  placedInner_ = QRect(outer + QPoint(frame.left(), frame.top()),
                       QSize(OuterWidth - frame.left() - frame.right(), OuterHeight - frame.top() - frame.bottom()));
  setGeometry(placedInner_);
  placedFrame_ = frame;
  placement_ = frame.isNull() ? TPlacement::AwaitingFrame : TPlacement::AwaitingPlace;
  corrections_ = 0;
}

void TForm1::FollowFrame() {
  // The manager's frame is known by the first expose, or the first move or resize, after it has
  // taken the window; the place is then taken again and, should a busy manager have lost the
  // request, asked again (a few times at most) until the window stands there. A size the user (or
  // a maximize) has given meanwhile is kept.
  if (placement_ != TPlacement::AwaitingFrame && placement_ != TPlacement::AwaitingPlace) return;
  if (size() != placedInner_.size() || windowState() != Qt::WindowNoState) {
    placement_ = TPlacement::Placed;
  } else if (placement_ == TPlacement::AwaitingFrame) {
    if (windowHandle() && windowHandle()->frameMargins() != placedFrame_) Place();
  } else if (geometry() == placedInner_ || ++corrections_ > MaxPlaceRequests) {
    placement_ = TPlacement::Placed;
  } else {
    setGeometry(placedInner_);
  }
}

void TForm1::FormResize() {
  Panel1->resize(ScrollBox1->viewport()->width(), Panel1->height());
  RepaintWindow();
}

TSceneSliders TForm1::SceneSliders() const {
  return {trcCameraZ->Position(), trcCameraY->Position(), trcYaw->Position(), trcMargin->Position()};
}

TReflectionSliders TForm1::ReflectionSliders() const {
  return {trcOpacity->Position(), trcOpacity->maximum(), trcLength->Position(), trcLength->maximum()};
}

void TForm1::trcCameraZChange() {
  UpdateCameraPosition();
  SceneChanged();
}

void TForm1::trcYawChange() {
  UpdateImageFrame();
  SceneChanged();
}

void TForm1::trcMarginChange() {
  UpdateReflectionFrame();
  SceneChanged();
}

void TForm1::trcOpacityChange() { SceneChanged(); }

void TForm1::UpdateCameraPosition() {
  SceneCameraZChange(Scene, trcCameraZ->Position(), trcCameraY->Position(), OutputImage.Height());
}

void TForm1::UpdateImageFrame() {
  SceneYawChange(Scene, trcYaw->Position(), SourceImage.Width(), SourceImage.Height());
}

void TForm1::UpdateReflectionFrame() { SceneMarginChange(Scene, trcMargin->Position()); }

void TForm1::UpdateProjection() { ::UpdateProjection(Scene, OutputImage.Width(), OutputImage.Height()); }

void TForm1::ResizeOutput(int width, int height) {
  OutputImage.SetSize(width, height);
  UpdateProjection();
  UpdateCameraPosition();  // the camera distance follows the output height
}

void TForm1::SceneChanged() {
  RenderPreview();
  RepaintWindow();
}

void TForm1::RenderPreview() {
  // The preview blends the reflection as the final rendering does, keeping the sample's colour and
  // carrying the fade in alpha alone. Blended onto transparent black with every channel scaled, the
  // colour would be darkened by the fade and then composited by it again: the screen would show the
  // fade squared, far darker than the rendering that is saved.
  RenderReflection(Scene, ReflectionSliders(), SourceImage, OutputImage, true);
  ++PreviewRenders;
}

void TForm1::RepaintWindow() {
  if (isVisible()) ClientArea->repaint();
}

void TForm1::actExitExecute() { close(); }

void TForm1::actGradientExecute() {
  // The command has already turned its check mark over, in both menus at once.
  Scene.GradientEnabled = actGradient->isChecked();
  SceneChanged();
}

void TForm1::actResetYawExecute() {
  // Raises the slider's change (and so a render) only when the tilt was not 0 already.
  trcYaw->SetPosition(0);
}

void TForm1::actRenderingExecute() {
  RenderFinal(Scene, ReflectionSliders(), SourceImage, OutputImage, [this] { RepaintWindow(); });
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  event->acceptProposedAction();
  // The desktop (and the file manager the files came from) waits until the drop returns. Reading
  // the picture, or the error box for a file that cannot be read, comes right after it.
  DropLater(urls);
}

void TForm1::DropLater(const QList<QUrl>& urls) {
  QMetaObject::invokeMethod(this, [this, urls] { Guarded([&] { WMDropFiles(urls); }); }, Qt::QueuedConnection);
}

void TForm1::OpenFromCommandLine(const QStringList& arguments) {
  if (const auto fileName = FileToOpenAtStart(arguments)) DropLater({QUrl::fromLocalFile(*fileName)});
}

void TForm1::ApplicationEvents1Hint() { StatusBar1->showMessage(GetLongHint(ApplicationEvents1->CurrentHint())); }

#pragma once
// TForm1: the main window. It owns the picture (SourceImage), the rendered output (OutputImage) and
// the scene, shows the output centred on black in the area left of the control column, and wires
// the six sliders, the twelve commands, both menus and the status-bar hints to thin handlers that
// update the scene, render and repaint.
//
// Its face is small: what it talks through (dialogs, clipboard, the program file, the address
// opener), a read-only view of its state, and the output rectangle. Its controls and commands are
// found by their object names, which are their own names below.
#include <QList>
#include <QMainWindow>
#include <QMargins>
#include <QSize>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/dialogs.h"
#include "app/output_area.h"
#include "picture/export.h"
#include "render/reflection.h"
#include "scene/scene.h"
#include "toolkit/bitmap.h"
#include "toolkit/clipboard.h"
#include "toolkit/graphic.h"

class QAction;
class QGroupBox;
class QMenu;
class QMenuBar;
class QPushButton;
class QScrollArea;
class QStatusBar;
class QWidget;
class TClientArea;
class THintTracker;
class TTrackBar;

// A read-only view of the window's state.
struct TForm1State {
  const TBitmap& SourceImage;  // the loaded picture, 32-bit
  const TBitmap& OutputImage;  // the render target; its size is the output size
  const TScene& Scene;         // frames, matrices, FieldOfView, CameraDistance, GradientEnabled
  const TDragState& Drag;      // the output area's pointer shape and size drag
};

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // The dialogs every command talks to the user through; a test puts its own in place.
  TDialogs& Dialogs() { return *dialogs_; }
  void SetDialogs(std::unique_ptr<TDialogs> dialogs);
  // The clipboard the copy and the PNG export put pictures on, and the paste takes one from; a test
  // puts its own in place.
  TClipboard& Clipboard() { return *clipboard_; }
  void SetClipboard(std::unique_ptr<TClipboard> clipboard);
  // The program file whose version table the About box reads: the running program's own at first.
  void SetVersionFile(const QString& fileName) { VersionFile = fileName; }
  // Opens an address for the website command: the desktop's handler at first.
  void SetAddressOpener(std::function<void(const QUrl&)> open) { OpenAddress = std::move(open); }

  // Opens the file that the program's command line names (FileToOpenAtStart) as if it had been
  // dropped on the window, once the event loop runs: the picture, or the error box over the
  // start-up picture, comes after the window is shown. Anything else on the command line is ignored.
  void OpenFromCommandLine(const QStringList& arguments);

  TForm1State State() const { return {SourceImage, OutputImage, Scene, Drag}; }
  // The output image's rectangle in ClientArea coordinates (right and bottom exclusive).
  TRect OutputRect() const;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  friend class TClientArea;  // hands the output area's events to the Form handlers below
  // The window tests' one look behind this face: the count of preview renders, and an output size
  // that no drag makes.
  friend struct TForm1TestSeam;

  // ---- Building and ending ----
  void FormCreate();
  void FormDestroy();
  void CreateControls();
  void CreateActions();
  void CreateMenus();
  void AlignControls();

  // ---- Scene and rendering ----
  // The slider handlers: each updates its part of the scene, then SceneChanged. Opacity and length
  // change no part of the scene; the renderer reads those sliders directly.
  void trcCameraZChange();
  void trcYawChange();
  void trcMarginChange();
  void trcOpacityChange();
  // Scene-only updates, shared by the handlers and by the window's own changes (a size drag, a new
  // picture), which then call SceneChanged once.
  void UpdateCameraPosition();   // from trcCameraZ, trcCameraY and the output height
  void UpdateImageFrame();       // from the picture's proportions and trcYaw
  void UpdateReflectionFrame();  // from trcMargin
  void UpdateProjection();       // from the output size
  // Gives OutputImage a new size, and the scene the projection and camera that follow it.
  void ResizeOutput(int width, int height);
  // Renders the preview of the current scene and repaints the window before returning.
  void SceneChanged();
  // The preview of the current scene into OutputImage.
  void RenderPreview();
  // Paints the whole window now, before returning.
  void RepaintWindow();
  // The positions of the sliders the scene and the renderer read.
  TSceneSliders SceneSliders() const;
  TReflectionSliders ReflectionSliders() const;

  // ---- Command handlers ----
  void actOpenExecute();
  void actPasteExecute();
  void actExitExecute();
  void actGradientExecute();
  void actResetYawExecute();
  void actExportBMP24Execute();
  void actExportBMP32Execute();
  void actExportPNGExecute();
  void actCopyExecute();
  void actAboutExecute();
  void actWebsiteExecute();
  void actRenderingExecute();
  // TakeRendering with alpha, for the exports: renders the final rendering, shows it, copies it.
  TRenderingSource RenderingSource();
  // Shows the shared save dialog for a picture class; the chosen name (with the class's extension
  // added when it has none), or nothing when the user cancels.
  std::optional<std::string> AskSaveName(const QString& title, const TGraphicClass& pictureClass);

  // ---- Pictures ----
  // Files dropped on the window (their addresses, as the desktop gave them). Exactly one local
  // file is loaded; anything else is ignored.
  void WMDropFiles(const QList<QUrl>& urls);
  // WMDropFiles once the event loop runs again.
  void DropLater(const QList<QUrl>& urls);
  // Enables the paste command while the clipboard holds a picture.
  void UpdatePasteCommand();
  // Replaces SourceImage by the picture in the file and shows it. A name whose extension selects
  // no reader gets an error box; a reader's error passes to the caller and keeps the current
  // picture.
  void LoadSourceImage(const QString& FileName);
  // Makes `picture` (32-bit) the source picture: the quad takes its proportions, and the preview
  // is rendered and shown.
  void ShowSourceImage(TBitmap picture);

  // ---- Window events (ClientArea coordinates) ----
  void FormPaint();
  void FormResize();
  void FormMouseDown(Qt::MouseButton Button, int X, int Y);
  void FormMouseMove(int X, int Y);
  void FormMouseUp(Qt::MouseButton Button, int X, int Y);
  void ApplicationEvents1Hint();
  void SetCursor(TDragCursor cursor);

  // ---- Placement ----
  // The window takes its outer size, frame included, centred on the screen. A window manager
  // frames the window only after its first show, so the place is taken again once the frame is known.
  enum class TPlacement { Unplaced, AwaitingFrame, AwaitingPlace, Placed };
  static constexpr int MaxPlaceRequests = 3;  // asked again at most, after the frame is known
  void Place();
  void FollowFrame();

  // ---- State ----
  TBitmap SourceImage;
  TBitmap OutputImage;
  TScene Scene;
  TDragState Drag;
  int PreviewRenders = 0;  // previews rendered since creation
  QString LastSaveName;    // the file last chosen in any export, offered again
  QString VersionFile;
  std::function<void(const QUrl&)> OpenAddress;
  std::unique_ptr<TDialogs> dialogs_;
  std::unique_ptr<TClipboard> clipboard_;
  TPlacement placement_ = TPlacement::Unplaced;
  QMargins placedFrame_;  // the frame the last placement allowed for
  QRect placedInner_;     // the inner rectangle it asked for
  int corrections_ = 0;   // times asked again since

  // ---- Controls ----
  QWidget* ClientArea = nullptr;  // everything below the menu bar; the output area is painted on it
  QMenuBar* MainMenu1 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QScrollArea* ScrollBox1 = nullptr;
  QWidget* Panel1 = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QGroupBox* GroupBox3 = nullptr;
  TTrackBar* trcCameraZ = nullptr;
  TTrackBar* trcCameraY = nullptr;
  TTrackBar* trcYaw = nullptr;
  TTrackBar* trcOpacity = nullptr;
  TTrackBar* trcLength = nullptr;
  TTrackBar* trcMargin = nullptr;
  QPushButton* Button1 = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  THintTracker* ApplicationEvents1 = nullptr;

  // ---- Commands ----
  QAction* actOpen = nullptr;
  QAction* actPaste = nullptr;
  QAction* actExit = nullptr;
  QAction* actGradient = nullptr;
  QAction* actResetYaw = nullptr;
  QAction* actExportBMP24 = nullptr;
  QAction* actExportBMP32 = nullptr;
  QAction* actCopy = nullptr;
  QAction* actCopy32 = nullptr;
  QAction* actAbout = nullptr;
  QAction* actWebsite = nullptr;
  QAction* actRendering = nullptr;
  QAction* actExportPNG = nullptr;
};

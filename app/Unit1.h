#pragma once
// TForm1: the main window. It owns the picture (SourceImage), the rendered output (OutputImage) and
// the scene, shows the output centred on black in the area left of the control column, and wires
// the six sliders, the twelve commands, both menus and the status-bar hints to thin handlers that
// update the scene, render and repaint.
#include <QList>
#include <QMainWindow>
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
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;
class QScrollArea;
class QStatusBar;
class QWidget;
class TClientArea;
class THintTracker;
class TTrackBar;

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // The dialogs every command talks to the user through; a test puts its own in place.
  TDialogs& Dialogs() { return *dialogs_; }
  void SetDialogs(std::unique_ptr<TDialogs> dialogs);
  // The clipboard the copy and the PNG export put pictures on; a test puts its own in place.
  TClipboard& Clipboard() { return *clipboard_; }
  void SetClipboard(std::unique_ptr<TClipboard> clipboard);
  // The program file whose version table the About box reads: the running program's own.
  QString VersionFile;
  // Opens an address with the desktop's handler (the website command).
  std::function<void(const QUrl&)> OpenAddress;

  // ---- State ----
  TBitmap SourceImage;  // the loaded picture, 32-bit
  TBitmap OutputImage;  // the render target; its size is the output size
  TScene Scene;         // frames, matrices, FieldOfView, CameraDistance, GradientEnabled
  bool Dragging = false;
  int DragOffsetX = 0;  // folded pointer minus the output rectangle's left edge at the press
  int DragOffsetY = 0;
  TDragCursor Cursor = crDefault;  // the output area's pointer shape; a drag keeps the one of its press
  TDragSides DragSides;            // the sides of the centre the drag's press fell on
  TPoint DragPress;                // where the drag's button went down
  // A secondary press on an edge starts a drag that may still be a click: the context menu waits
  // for the release and opens there unless the pointer has moved.
  bool MenuPending = false;
  int PreviewRenders = 0;          // previews rendered since creation
  QString LastSaveName;            // the file last chosen in any export, offered again

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

  // ---- Scene and rendering ----
  // The output image's rectangle in ClientArea coordinates (right and bottom exclusive).
  TRect OutputRect() const;
  void UpdateProjection();
  // Slider handlers. With a sender (the slider itself) they end by rendering the preview and
  // repainting; without one they only update the scene and the caller renders.
  void trcCameraZChange(QObject* Sender);
  void trcYawChange(QObject* Sender);
  void trcMarginChange(QObject* Sender);
  void trcOpacityChange(QObject* Sender);
  // The preview of the current scene into OutputImage.
  void RenderPreview();
  // Paints the whole window now, before returning.
  void RepaintWindow();
  // The positions of the sliders the scene and the renderer read.
  TSceneSliders SceneSliders() const;
  TReflectionSliders ReflectionSliders() const;

  // ---- Command handlers ----
  void actOpenExecute();
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

  // Files dropped on the window (their addresses, as the desktop gave them). Exactly one local
  // file is loaded; anything else is ignored.
  void WMDropFiles(const QList<QUrl>& urls);
  // Replaces SourceImage by the picture in the file and shows it. A name whose extension is not
  // .bmp, .jpg or .jpeg gets an error box; a reader's error passes to the caller and keeps the
  // current picture.
  void LoadSourceImage(const QString& FileName);

  // ---- Window events (ClientArea coordinates) ----
  void FormPaint();
  void FormResize();
  void FormMouseDown(Qt::MouseButton Button, int X, int Y);
  void FormMouseMove(int X, int Y);
  void FormMouseUp(Qt::MouseButton Button, int X, int Y);
  void ApplicationEvents1Hint();

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  friend class TClientArea;
  void FormCreate();
  void FormDestroy();
  void CreateControls();
  void CreateActions();
  void CreateMenus();
  void AlignControls();
  void SetCursor(TDragCursor cursor);
  // TakeRendering with alpha, for the exports: renders the final rendering, shows it, copies it.
  TRenderingSource RenderingSource();
  // Shows the shared save dialog for a picture class; the chosen name (with the class's extension
  // added when it has none), or nothing when the user cancels.
  std::optional<std::string> AskSaveName(const QString& title, const TGraphicClass& pictureClass);

  std::unique_ptr<TDialogs> dialogs_;
  std::unique_ptr<TClipboard> clipboard_;
  // The window takes its outer size, frame included, centred on the screen. A window manager
  // frames the window only after its first show, so the place is taken again once the frame is known.
  enum class TPlacement { Unplaced, AwaitingFrame, Placed };
  void Place();
  void FollowFrame();
  TPlacement placement_ = TPlacement::Unplaced;
  QMargins placedFrame_;  // the frame the last placement allowed for
  QSize placedSize_;      // the inner size it gave
};

#pragma once
// How the window tests reach the main window: its controls by their object names, as a person finds
// them by sight, and the one look behind its face that nothing on screen gives.
#include <QAction>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QtGlobal>

#include "app/Unit1.h"
#include "app/track_bar.h"

// The control of the window with this object name; a missing one ends the tests at once.
template <class T>
T* FindControl(const QObject& form, const char* name) {
  T* control = form.findChild<T*>(QString::fromLatin1(name));
  if (control == nullptr) qFatal("the window has no control named %s", name);
  return control;
}

struct TForm1Controls {
  explicit TForm1Controls(const TForm1& form)
      : ClientArea(FindControl<QWidget>(form, "ClientArea")),
        MainMenu1(FindControl<QMenuBar>(form, "MainMenu1")),
        PopupMenu1(FindControl<QMenu>(form, "PopupMenu1")),
        ScrollBox1(FindControl<QScrollArea>(form, "ScrollBox1")),
        Panel1(FindControl<QWidget>(form, "Panel1")),
        GroupBox2(FindControl<QGroupBox>(form, "GroupBox2")),
        GroupBox3(FindControl<QGroupBox>(form, "GroupBox3")),
        trcCameraZ(FindControl<TTrackBar>(form, "trcCameraZ")),
        trcCameraY(FindControl<TTrackBar>(form, "trcCameraY")),
        trcYaw(FindControl<TTrackBar>(form, "trcYaw")),
        trcOpacity(FindControl<TTrackBar>(form, "trcOpacity")),
        trcLength(FindControl<TTrackBar>(form, "trcLength")),
        trcMargin(FindControl<TTrackBar>(form, "trcMargin")),
        Button1(FindControl<QPushButton>(form, "Button1")),
        StatusBar1(FindControl<QStatusBar>(form, "StatusBar1")),
        actOpen(FindControl<QAction>(form, "actOpen")),
        actPaste(FindControl<QAction>(form, "actPaste")),
        actExit(FindControl<QAction>(form, "actExit")),
        actGradient(FindControl<QAction>(form, "actGradient")),
        actResetYaw(FindControl<QAction>(form, "actResetYaw")),
        actExportBMP24(FindControl<QAction>(form, "actExportBMP24")),
        actExportBMP32(FindControl<QAction>(form, "actExportBMP32")),
        actCopy(FindControl<QAction>(form, "actCopy")),
        actCopy32(FindControl<QAction>(form, "actCopy32")),
        actAbout(FindControl<QAction>(form, "actAbout")),
        actWebsite(FindControl<QAction>(form, "actWebsite")),
        actRendering(FindControl<QAction>(form, "actRendering")),
        actExportPNG(FindControl<QAction>(form, "actExportPNG")) {}

  QWidget* ClientArea;
  QMenuBar* MainMenu1;
  QMenu* PopupMenu1;
  QScrollArea* ScrollBox1;
  QWidget* Panel1;
  QGroupBox* GroupBox2;
  QGroupBox* GroupBox3;
  TTrackBar* trcCameraZ;
  TTrackBar* trcCameraY;
  TTrackBar* trcYaw;
  TTrackBar* trcOpacity;
  TTrackBar* trcLength;
  TTrackBar* trcMargin;
  QPushButton* Button1;
  QStatusBar* StatusBar1;
  QAction* actOpen;
  QAction* actPaste;
  QAction* actExit;
  QAction* actGradient;
  QAction* actResetYaw;
  QAction* actExportBMP24;
  QAction* actExportBMP32;
  QAction* actCopy;
  QAction* actCopy32;
  QAction* actAbout;
  QAction* actWebsite;
  QAction* actRendering;
  QAction* actExportPNG;
};

// The window tests' one look behind the window's face. A render that repeats the last one leaves
// the same pixels, so nothing painted tells how often the preview was rendered; and no drag makes
// an odd output size.
struct TForm1TestSeam {
  static int PreviewRenders(const TForm1& form) { return form.PreviewRenders; }
  static void SetOutputSize(TForm1& form, int width, int height) {
    form.ResizeOutput(width, height);
    form.SceneChanged();
  }
};

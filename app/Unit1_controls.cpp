// The main window's controls, commands and menus: what they are called, what they say, where they
// sit and which handler each one runs.
#include <QAction>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>

#include "app/Unit1.h"
#include "app/anchors.h"
#include "app/client_area.h"
#include "app/error_handler.h"
#include "app/hints.h"
#include "app/messages.h"
#include "app/track_bar.h"
#include "app/window_font.h"

namespace {

constexpr int ScrollBoxWidth = 201;
constexpr int StatusBarHeight = 19;
constexpr int PanelHeight = 377;
constexpr int GroupBoxHeight = 169;
constexpr int SliderHeight = 25;
constexpr int Margin = 8;  // the group boxes and sliders keep it from both sides of their parent

// One labelled slider row of a group box: the label above the slider, rows 48 pixels apart.
TTrackBar* AddSliderRow(QGroupBox* box, const char* name, int row, const QString& label, int minimum, int maximum,
                        int position, const QString& hint) {
  auto* caption = new QLabel(label, box);
  caption->move(Margin, 24 + 48 * row);
  caption->adjustSize();
  auto* slider = new TTrackBar(minimum, maximum, position, box);
  slider->setObjectName(QLatin1String(name));
  slider->setGeometry(Margin, 40 + 48 * row, box->width() - 2 * Margin, SliderHeight);
  AnchorLeftTopRight(slider, Margin);
  SetLongHint(slider, hint);
  return slider;
}

QGroupBox* AddGroupBox(QWidget* panel, const char* name, const QString& title, int top) {
  auto* box = new QGroupBox(title, panel);
  box->setObjectName(QLatin1String(name));
  box->setGeometry(Margin, top, panel->width() - 2 * Margin, GroupBoxHeight);
  AnchorLeftTopRight(box, Margin);
  return box;
}

}  // namespace

void TForm1::CreateControls() {
  setFont(WindowFont());
  SetLongHint(this, SWindowHint);

  auto* client = new TClientArea(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  ClientArea = client;
  setCentralWidget(client);

  ScrollBox1 = new QScrollArea(client);
  ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
  ScrollBox1->setFrameShape(QFrame::NoFrame);
  ScrollBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  ScrollBox1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  ScrollBox1->setWidgetResizable(false);
  ScrollBox1->setAutoFillBackground(true);
  ScrollBox1->verticalScrollBar()->setSingleStep(8);
  SetLongHint(ScrollBox1, QString());  // blank: the window's hint stops here

  Panel1 = new QWidget;
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->resize(265, PanelHeight);
  GroupBox2 = AddGroupBox(Panel1, "GroupBox2", SGroupImage, 0);
  trcCameraZ = AddSliderRow(GroupBox2, "trcCameraZ", 0, SLabelCameraZ, 1, 10, 3, SHintCameraZ);
  trcCameraY = AddSliderRow(GroupBox2, "trcCameraY", 1, SLabelCameraY, -5, 5, 0, SHintCameraY);
  trcYaw = AddSliderRow(GroupBox2, "trcYaw", 2, SLabelYaw, -5, 5, 0, SHintYaw);
  GroupBox3 = AddGroupBox(Panel1, "GroupBox3", SGroupReflection, 176);
  trcOpacity = AddSliderRow(GroupBox3, "trcOpacity", 0, SLabelOpacity, 0, 10, 8, SHintOpacity);
  trcLength = AddSliderRow(GroupBox3, "trcLength", 1, SLabelLength, 0, 10, 7, SHintLength);
  trcMargin = AddSliderRow(GroupBox3, "trcMargin", 2, SLabelMargin, 0, 10, 0, SHintMargin);
  Button1 = new QPushButton(Panel1);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(Margin, 352, 145, 25);
  ScrollBox1->setWidget(Panel1);
  AnchorLeftTopRight(Panel1, 0);  // the panel keeps the scroll box's client width

  StatusBar1 = new QStatusBar(client);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setSizeGripEnabled(false);
  StatusBar1->setAutoFillBackground(true);  // the output area's black stops above it
  StatusBar1->setFixedHeight(StatusBarHeight);

  const std::pair<TTrackBar*, void (TForm1::*)()> bindings[] = {
      {trcCameraZ, &TForm1::trcCameraZChange}, {trcCameraY, &TForm1::trcCameraZChange},
      {trcYaw, &TForm1::trcYawChange},         {trcOpacity, &TForm1::trcOpacityChange},
      {trcLength, &TForm1::trcOpacityChange},  {trcMargin, &TForm1::trcMarginChange}};
  for (const auto& [slider, handler] : bindings) {
    connect(slider, &TTrackBar::Change, this, [this, handler] { Guarded([&] { (this->*handler)(); }); });
  }

  ApplicationEvents1 = new THintTracker(this);
  ApplicationEvents1->setObjectName(QStringLiteral("ApplicationEvents1"));
  connect(ApplicationEvents1, &THintTracker::OnHint, this, [this] { Guarded([&] { ApplicationEvents1Hint(); }); });
}

void TForm1::AlignControls() {
  const int width = ClientArea->width(), height = ClientArea->height();
  StatusBar1->setGeometry(0, height - StatusBarHeight, width, StatusBarHeight);
  ScrollBox1->setGeometry(width - ScrollBoxWidth, 0, ScrollBoxWidth, std::max(0, height - StatusBarHeight));
}

namespace {

QAction* MakeAction(TForm1* form, const char* name, const QString& caption, const QString& longHint,
                    void (TForm1::*handler)()) {
  auto* action = new QAction(caption, form);
  action->setObjectName(QLatin1String(name));
  if (!longHint.isEmpty()) SetLongHint(action, longHint);
  form->addAction(action);  // the window's command list: shortcuts work from anywhere in it
  QObject::connect(action, &QAction::triggered, form, [form, handler] { Guarded([&] { (form->*handler)(); }); });
  return action;
}

}  // namespace

void TForm1::CreateActions() {
  actOpen = MakeAction(this, "actOpen", SCaptionOpen, SHintOpen, &TForm1::actOpenExecute);
  actOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  actPaste = MakeAction(this, "actPaste", SCaptionPaste, SHintPaste, &TForm1::actPasteExecute);
  actPaste->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
  // The hints of actExit and actAbout name the application; FormCreate writes them.
  actExit = MakeAction(this, "actExit", SCaptionExit, QString(), &TForm1::actExitExecute);
  actGradient = MakeAction(this, "actGradient", SCaptionGradient, SHintGradient, &TForm1::actGradientExecute);
  actGradient->setCheckable(true);
  actGradient->setChecked(true);
  actResetYaw = MakeAction(this, "actResetYaw", SCaptionResetYaw, SHintResetYaw, &TForm1::actResetYawExecute);
  actExportBMP24 =
      MakeAction(this, "actExportBMP24", SCaptionExportBMP24, SHintExportBMP24, &TForm1::actExportBMP24Execute);
  actExportBMP32 =
      MakeAction(this, "actExportBMP32", SCaptionExportBMP32, SHintExportBMP32, &TForm1::actExportBMP32Execute);
  actExportBMP32->setVisible(false);
  actCopy = MakeAction(this, "actCopy", SCaptionCopy, SHintCopy, &TForm1::actCopyExecute);
  actCopy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  actCopy32 = MakeAction(this, "actCopy32", SCaptionCopy32, SHintCopy32, &TForm1::actCopyExecute);
  actCopy32->setVisible(false);
  actAbout = MakeAction(this, "actAbout", SCaptionAbout, QString(), &TForm1::actAboutExecute);
  actAbout->setShortcut(QKeySequence(Qt::Key_F1));
  const QString site = QString::fromUtf8(AuthorSiteName);
  actWebsite = MakeAction(this, "actWebsite", QString::fromUtf8(SCaptionWebsite).arg(site), SHintWebsite,
                          &TForm1::actWebsiteExecute);
  actRendering = MakeAction(this, "actRendering", SCaptionRendering, SHintRendering, &TForm1::actRenderingExecute);
  actExportPNG = MakeAction(this, "actExportPNG", SCaptionExportPNG, SHintExportPNG, &TForm1::actExportPNGExecute);

  Button1->setText(actRendering->text());
  SetHint(Button1, Hint(actRendering));
  connect(Button1, &QPushButton::clicked, actRendering, &QAction::trigger);
}

void TForm1::CreateMenus() {
  MainMenu1 = menuBar();
  MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
  SetLongHint(MainMenu1, QString());  // blank: the window's hint stops here
  const auto addMenu = [this](QMenu* menu) {
    menu->setFont(font());
    ApplicationEvents1->TrackMenu(menu);
  };

  QMenu* file = MainMenu1->addMenu(SMenuFile);
  file->addActions({actOpen, actPaste});
  file->addSeparator();
  file->addAction(actExit);
  addMenu(file);

  QMenu* output = MainMenu1->addMenu(SMenuOutput);
  output->addAction(actRendering);
  output->addSeparator();
  output->addActions({actExportBMP24, actExportBMP32, actExportPNG});
  output->addSeparator();
  output->addActions({actCopy, actCopy32});
  addMenu(output);

  QMenu* settings = MainMenu1->addMenu(SMenuSettings);
  settings->addActions({actGradient, actResetYaw});
  addMenu(settings);

  QMenu* help = MainMenu1->addMenu(SMenuHelp);
  help->addAction(actAbout);
  // The menu names the site differently from the command's own caption; the item runs the command.
  QAction* website = help->addAction(QString::fromUtf8(SMenuWebsite).arg(QString::fromUtf8(AuthorSiteName)));
  SetHint(website, Hint(actWebsite));
  connect(website, &QAction::triggered, actWebsite, &QAction::trigger);
  addMenu(help);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  PopupMenu1->addActions({actOpen, actPaste});
  PopupMenu1->addSeparator();
  PopupMenu1->addActions({actGradient, actResetYaw});
  PopupMenu1->addSeparator();
  PopupMenu1->addAction(actRendering);
  PopupMenu1->addSeparator();
  PopupMenu1->addActions({actExportBMP24, actExportBMP32});
  PopupMenu1->addSeparator();
  PopupMenu1->addAction(actCopy);
  addMenu(PopupMenu1);
}

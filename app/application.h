#pragma once
// The application object: its title, and the last line of defence of the general error handler.
#include <QApplication>
#include <QString>
#include <QTranslator>

// The application title: the main window's caption, the caption of every message box, and part of
// two command hints. It is the program's name until the entry sets it.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

class TApplication : public QApplication {
 public:
  // The application speaks Japanese in the window's font whatever the desktop's locale: Qt's own
  // texts (file dialogs, message-box buttons, context menus of text fields), its dates and its
  // numbers.
  TApplication(int& argc, char** argv);
  // Delivers every event; an exception that a handler let through is shown by the general error
  // handler instead of crossing the event loop.
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  QTranslator qtTexts_;
};

#pragma once
// The general error handler. Commands do not catch errors: whatever a handler raises ends that
// handler and is shown here, in an error box captioned with the application title, and the window
// goes on running with the state the command had reached.
#include <QString>
#include <exception>

class QWidget;
class TDialogs;

// The text the error box shows: the message, with "." added when its last character sorts above
// "." (every Japanese message ends so; an English one ending in "." or "!" is left as it is).
QString ErrorBoxText(const QString& message);

// The message an exception carries, for any exception.
QString ExceptionMessage(std::exception_ptr error);

// Where error boxes go: the main window's dialogs, owned by it. With none, Qt's own message box.
void SetErrorDialogs(TDialogs* dialogs, QWidget* owner);
// Stops showing errors through `dialogs`, if they are the ones in use.
void ReleaseErrorDialogs(const TDialogs* dialogs);

// Shows the exception being handled. Call only inside a catch block. Never throws.
void HandleException() noexcept;

// Runs `body`; an exception that leaves it goes to HandleException.
template <class F>
void Guarded(F&& body) noexcept {
  try {
    body();
  } catch (...) {
    HandleException();
  }
}

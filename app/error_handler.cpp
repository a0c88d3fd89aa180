#include "app/error_handler.h"

#include <QWidget>
#include <new>

#include "app/application.h"
#include "app/dialogs.h"
#include "app/messages.h"

namespace {

TDialogs* errorDialogs = nullptr;
QWidget* errorOwner = nullptr;  // the main window, which clears it when it goes
// An error box runs its own event loop; an error raised by an event inside it (a paint that fails
// again, say) would open a box over the box, without end. One box at a time is shown.
bool showingError = false;

}  // namespace

QString ErrorBoxText(const QString& message) {
  if (!message.isEmpty() && message.back() > QLatin1Char('.')) return message + QLatin1Char('.');
  return message;
}

QString ExceptionMessage(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::bad_alloc&) {
    return QString::fromUtf8(SOutOfMemory);
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
    return QString::fromUtf8(SUnknownError);
  }
}

void SetErrorDialogs(TDialogs* dialogs, QWidget* owner) {
  errorDialogs = dialogs;
  errorOwner = owner;
}

void ReleaseErrorDialogs(const TDialogs* dialogs) {
  if (errorDialogs == dialogs) SetErrorDialogs(nullptr, nullptr);
}

void HandleException() noexcept {
  if (showingError) return;
  showingError = true;
  try {
    const QString text = ErrorBoxText(ExceptionMessage(std::current_exception()));
    if (errorDialogs) {
      errorDialogs->ShowMessage(errorOwner, ApplicationTitle(), text, TMessageIcon::Error, TMessagePlace::OverOwner);
    } else {
      TQtDialogs().ShowMessage(errorOwner, ApplicationTitle(), text, TMessageIcon::Error,
                               TMessagePlace::OverOwner);
    }
  } catch (...) {
    // Nothing is left to tell the user with; the window keeps running.
  }
  showingError = false;
}

#pragma once
// The window's dialogs: message boxes, the open dialog and the save dialog. The window owns one
// TDialogs and every command reaches the user through it, so that a test can put answers in place
// of a person.
#include <QString>
#include <optional>
#include <vector>

class QWidget;

enum class TMessageIcon { None, Information, Warning, Error };

// Where a message box stands: over the window that owns it, or in the middle of the screen that
// holds that window.
enum class TMessagePlace { OverOwner, ScreenCentre };

// One entry of a file dialog's filter: what the user reads, and the patterns it matches joined by
// ';' (for example the bitmap kind's description and "*.bmp").
struct TFileFilter {
  QString Description;
  QString Patterns;
  friend bool operator==(const TFileFilter&, const TFileFilter&) = default;
};

// Splits a filter in the picture registry's form, "description|patterns|description|patterns",
// into its entries. A trailing description without patterns is dropped.
std::vector<TFileFilter> ParseFilter(const QString& filter);

// What an open or save dialog shows when it opens.
struct TFileDialogRequest {
  QString Title;             // caption; empty for the platform's own
  QString Filter;            // "description|patterns|..." as above
  int FilterIndex = 1;       // entry selected at first, counted from 1
  QString DefaultExt;        // without the dot; the save dialog adds it to a name typed without one
  QString FileName;          // name offered at first (the save dialog offers the last one chosen)
};

// The name with ".defaultExt" added when its last part has no extension, as the save dialog does
// for a name typed without one.
QString WithDefaultExtension(const QString& fileName, const QString& defaultExt);

// The name with the extension of its last part (from its last ".") replaced by ".extension", or
// with ".extension" added when it has none.
QString WithExtension(const QString& fileName, const QString& extension);

class TDialogs {
 public:
  virtual ~TDialogs() = default;
  // A modal message box with a single OK button. A lone "\r" in the text breaks the line.
  virtual void ShowMessage(QWidget* owner, const QString& caption, const QString& text, TMessageIcon icon,
                           TMessagePlace place) = 0;
  // The chosen existing file, or nothing when the user cancels.
  virtual std::optional<QString> OpenFile(QWidget* owner, const TFileDialogRequest& request) = 0;
  // The chosen file name, or nothing when the user cancels. Asks before an existing file is
  // overwritten.
  virtual std::optional<QString> SaveFile(QWidget* owner, const TFileDialogRequest& request) = 0;
};

// The dialogs a person answers: Qt's message box and file dialogs.
class TQtDialogs final : public TDialogs {
 public:
  void ShowMessage(QWidget* owner, const QString& caption, const QString& text, TMessageIcon icon,
                   TMessagePlace place) override;
  std::optional<QString> OpenFile(QWidget* owner, const TFileDialogRequest& request) override;
  std::optional<QString> SaveFile(QWidget* owner, const TFileDialogRequest& request) override;
};

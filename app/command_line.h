#pragma once
// The window's command line: the desktop (an "Open with" entry) or a terminal names the picture to
// open at start.
#include <QString>
#include <QStringList>
#include <optional>

// The file that `arguments` (the program's name first) ask the window to open: the one argument
// after the program's name, when there is exactly one and it is neither an option (a leading "-")
// nor a folder, made absolute against the current folder. A name that does not exist is still
// given, so that the user hears it cannot be opened. Nothing for anything else.
std::optional<QString> FileToOpenAtStart(const QStringList& arguments);

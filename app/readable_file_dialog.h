#pragma once
// Qt's own file dialog made readable for this program: it opens narrow, with columns sized for short
// English entries, and writes sizes and dates in the desktop's locale. These follow the program's
// locale instead, and the dialog starts wide enough to show its columns whole.
class QFileDialog;

// Call after the dialog is set up and before it is shown.
void MakeReadable(QFileDialog& dialog);

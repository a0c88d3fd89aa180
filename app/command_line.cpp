#include "app/command_line.h"

#include <QFileInfo>

std::optional<QString> FileToOpenAtStart(const QStringList& arguments) {
  if (arguments.size() != 2) return std::nullopt;
  const QString& name = arguments[1];
  if (name.isEmpty() || name.startsWith(QLatin1Char('-'))) return std::nullopt;
  const QFileInfo file(name);
  if (file.isDir()) return std::nullopt;
  return file.absoluteFilePath();
}

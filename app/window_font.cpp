#include "app/window_font.h"

#include <QStringList>

QFont WindowFont() {
  QFont font;
  // The first Gothic the system has wins; the Noto CJK JP faces keep Japanese glyph shapes where
  // the Windows faces are missing.
  font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("Noto Sans CJK JP"),
                    QStringLiteral("Noto Sans JP"), QStringLiteral("IPAPGothic"), QStringLiteral("VL PGothic")});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(12);
  return font;
}

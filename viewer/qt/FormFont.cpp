#include "qt/FormFont.h"

#include <QFontDatabase>
#include <QStringList>

namespace Quorvane::Viewer {

QFont FormFont() {
  QFont font;
  if (QFontDatabase::families().contains(QStringLiteral("Tahoma"))) {
    font.setFamily(QStringLiteral("Tahoma"));
  } else {
    font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
  }
  font.setPixelSize(13);
  return font;
}

}  // namespace Quorvane::Viewer

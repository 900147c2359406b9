// quorvane [FOLDER|PHOTO]: the viewer's window, opened on a folder or on a photo in its folder, or
// on the last run's folder.
// quorvane --screenshot OUT.png [FOLDER|PHOTO]: the same window, laid out, painted and saved as a
// PNG instead of being shown on screen (works with QT_QPA_PLATFORM=offscreen).

#include <QApplication>
#include <QPixmap>
#include <QStringList>
#include <cstdio>

#include "core/DataFiles.h"
#include "qt/ExifForm.h"

namespace {

int Fail(const QString& message) {
  std::fprintf(stderr, "quorvane: %s\n", qPrintable(message));
  return 1;
}

int Usage() {
  std::fprintf(stderr, "usage: quorvane [--screenshot OUT.png] [FOLDER|PHOTO]\n");
  return 2;
}

// Lets the window lay itself out and paint before it is grabbed.
void SettleWindow(QWidget& window) {
  window.show();
  for (int pass = 0; pass < 10; ++pass) QApplication::processEvents();
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quorvane"));
  QStringList arguments = QApplication::arguments().mid(1);
  QString screenshot;
  if (!arguments.isEmpty() && arguments.constFirst() == QStringLiteral("--screenshot")) {
    if (arguments.size() < 2) return Usage();
    screenshot = arguments[1];
    arguments = arguments.mid(2);
  }
  if (arguments.size() > 1 || (!arguments.isEmpty() && arguments.constFirst().startsWith(QStringLiteral("--"))))
    return Usage();

  using namespace Quorvane::Viewer;
  TExifForm form(FindMakerNotesIni(ExecutablePath()));
  if (screenshot.isEmpty()) form.RestoreSettings();
  if (!arguments.isEmpty() && !form.OpenPath(arguments.constFirst().toStdString()))
    return Fail(QStringLiteral("no such folder or file: %1").arg(arguments.constFirst()));
  // Without a path the window opens on the folder of the last run, if it is still there.
  if (arguments.isEmpty() && screenshot.isEmpty()) form.OpenLastFolder();
  if (screenshot.isEmpty()) {
    form.show();
    return QApplication::exec();
  }
  SettleWindow(form);
  if (!form.grab().save(screenshot, "PNG")) return Fail(QStringLiteral("cannot write %1").arg(screenshot));
  return 0;
}

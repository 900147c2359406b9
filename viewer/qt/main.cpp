// quorvane [FOLDER|PHOTO]: the viewer's window, opened on a folder or on a photo in its folder, or
// on the last run's folder.
// quorvane --screenshot OUT.png [FOLDER|PHOTO]: the same window, laid out, painted and saved as a
// PNG instead of being shown on screen (works with QT_QPA_PLATFORM=offscreen).
// quorvane --version | --help: the version or the usage on standard output, without a window.

#include <QApplication>
#include <QBuffer>
#include <QPixmap>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "QuorvaneVersion.h"
#include "core/DataFiles.h"
#include "qt/ExifForm.h"
#include "qt/QtConversions.h"

namespace {

int Fail(const QString& message) {
  std::fprintf(stderr, "quorvane: %s\n", qPrintable(message));
  return 1;
}

const char* const UsageLine = "usage: quorvane [--screenshot OUT.png] [FOLDER|PHOTO]\n";

int Usage() {
  std::fputs(UsageLine, stderr);
  return 2;
}

int Help() {
  std::fputs(UsageLine, stdout);
  std::fputs("\n"
             "View and edit the Exif, MakerNote and XMP metadata of the JPEG photos in FOLDER, or in\n"
             "the folder of PHOTO with PHOTO selected; without a path, the folder of the last run.\n"
             "\n"
             "  --screenshot OUT.png  save the window as a PNG instead of showing it\n"
             "  --version             print the version and exit\n"
             "  --help                print this help and exit\n",
             stdout);
  return 0;
}

// Lets the window lay itself out and paint before it is grabbed.
void SettleWindow(QWidget& window) {
  window.show();
  for (int pass = 0; pass < 10; ++pass) QApplication::processEvents();
}

// Written through the C++ library, which takes the path's bytes as they are.
bool SavePNG(QWidget& window, const std::string& path) {
  QByteArray png;
  QBuffer buffer(&png);
  if (!buffer.open(QIODevice::WriteOnly) || !window.grab().save(&buffer, "PNG")) return false;
  std::ofstream file(path, std::ios::binary);
  file.write(png.constData(), png.size());
  file.close();
  return !file.fail();
}

}  // namespace

int main(int argc, char* argv[]) {
  // Answered before QApplication exists, since that needs a display.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::fputs("quorvane " QUORVANE_VERSION "\n", stdout);
    return 0;
  }
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) return Help();

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quorvane"));
  QApplication::setApplicationVersion(QStringLiteral(QUORVANE_VERSION));
  // Lets the desktop match the window to its entry (and icon) in share/applications.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.quorvane.Quorvane"));
  // The arguments Qt left as the bytes given: a path need not be UTF-8, which text could not keep.
  std::vector<std::string> arguments(argv + 1, argv + argc);
  std::string screenshot;
  if (!arguments.empty() && arguments.front() == "--screenshot") {
    if (arguments.size() < 2 || arguments[1].empty()) return Usage();
    screenshot = arguments[1];
    arguments.erase(arguments.begin(), arguments.begin() + 2);
  }
  if (arguments.size() > 1 || (!arguments.empty() && arguments.front().starts_with("--"))) return Usage();

  using namespace Quorvane::Viewer;
  TExifForm form(FindMakerNotesIni(ExecutablePath()));
  if (screenshot.empty()) form.RestoreSettings();
  if (!arguments.empty() && !form.OpenPath(arguments.front()))
    return Fail(QStringLiteral("no such folder or file: %1").arg(PathToQt(arguments.front())));
  // Without a path the window opens on the folder of the last run, if it is still there.
  if (arguments.empty() && screenshot.empty()) form.OpenLastFolder();
  if (screenshot.empty()) {
    form.show();
    return QApplication::exec();
  }
  SettleWindow(form);
  if (!SavePNG(form, screenshot)) return Fail(QStringLiteral("cannot write %1").arg(PathToQt(screenshot)));
  return 0;
}

#pragma once
// The viewer core's plain values as Qt's: UTF-8 text, file paths, rectangles and colours.
//
// A path is the file system's bytes in the core and text in Qt. Qt 6 decodes file names as UTF-8
// whatever the locale (C, POSIX or C.UTF-8 alike) and turns bytes that are not UTF-8 into U+FFFD,
// and nothing can be set to change that, so QFile::decodeName then QFile::encodeName does not give
// such a name back. Paths therefore cross as bytes wherever Qt lets them (command-line arguments,
// percent-encoded URLs, settings stored as byte arrays); a path that comes back from Qt as text is
// encoded with QFile::encodeName and, where it holds U+FFFD, matched against the folder's entries.

#include <QColor>
#include <QRect>
#include <QString>
#include <QUrl>
#include <string>

#include "core/RowDrawing.h"

namespace Quorvane::Viewer {

inline QString ToQt(const std::string& text) { return QString::fromStdString(text); }
inline QRect ToQRect(const TRect& rect) { return QRect(rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top); }
inline QColor ToQColor(const TRGBColor& color) { return QColor(color.Red, color.Green, color.Blue); }

// A path for display, with U+FFFD for bytes that are not UTF-8.
QString PathToQt(const std::string& path);
// A path that names something on disk, from Qt's text: a part Qt could not decode is taken to be the
// one entry of its folder whose name reads the same.
std::string ExistingPathFromQt(const QString& path);
// A path whose last part may be new (a save dialog's file): its folders are matched as above, its
// name is taken as typed, so it never stands for another file whose name reads the same.
std::string NewPathFromQt(const QString& path);
// The bytes of a local file URL's path (its percent-encoding keeps every byte); when they name
// nothing, the path as ExistingPathFromQt reads its text. Empty for a URL that is not a local file.
std::string PathFromUrl(const QUrl& url);
// A local file URL carrying the path's bytes.
QUrl UrlFromPath(const std::string& path);

}  // namespace Quorvane::Viewer

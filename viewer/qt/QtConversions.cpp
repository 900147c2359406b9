#include "qt/QtConversions.h"

#include <QFile>
#include <filesystem>
#include <system_error>

namespace Quorvane::Viewer {

namespace {

namespace fs = std::filesystem;

bool Names(const fs::path& path) {
  std::error_code error;
  return fs::symlink_status(path, error).type() != fs::file_type::not_found;
}

QString Decoded(const fs::path& path) { return QFile::decodeName(QByteArray::fromStdString(path.native())); }

// The entry of folder whose name reads as part does, when there is exactly one.
fs::path MatchEntry(const fs::path& folder, const fs::path& part) {
  const QString wanted = Decoded(part);
  fs::path found;
  int matches = 0;
  std::error_code error;
  for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, error), end; !error && it != end;
       it.increment(error)) {
    if (Decoded(it->path().filename()) != wanted) continue;
    found = it->path().filename();
    ++matches;
  }
  return matches == 1 ? found : part;
}

// Qt's text of a path as bytes, each part that names nothing and holds U+FFFD replaced by the
// folder entry it stands for; the last part only when matchLast.
std::string MatchPath(const QString& text, bool matchLast) {
  const std::string encoded = QFile::encodeName(text).toStdString();
  if (!text.contains(QChar::ReplacementCharacter) || Names(encoded)) return encoded;
  const fs::path lossy(encoded);
  fs::path matched;
  for (auto part = lossy.begin(); part != lossy.end(); ++part) {
    const bool mayMatch = matchLast || std::next(part) != lossy.end();
    if (mayMatch && !Names(matched / *part) && Decoded(*part).contains(QChar::ReplacementCharacter))
      matched /= MatchEntry(matched, *part);
    else
      matched /= *part;
  }
  return matched.native();
}

}  // namespace

QString PathToQt(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

std::string ExistingPathFromQt(const QString& path) { return MatchPath(path, true); }

std::string NewPathFromQt(const QString& path) { return MatchPath(path, false); }

std::string PathFromUrl(const QUrl& url) {
  if (!url.isLocalFile()) return {};
  const std::string bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
  return Names(bytes) ? bytes : ExistingPathFromQt(QFile::decodeName(QByteArray::fromStdString(bytes)));
}

QUrl UrlFromPath(const std::string& path) {
  if (path.empty()) return {};
  const QByteArray absolute = QByteArray::fromStdString(fs::absolute(path).native());
  return QUrl::fromEncoded("file://" + absolute.toPercentEncoding("/"));
}

}  // namespace Quorvane::Viewer

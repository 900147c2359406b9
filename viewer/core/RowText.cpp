#include "core/RowText.h"

#include <filesystem>
#include <string_view>

#include "zorp/base/TextEncoding.h"

namespace Quorvane::Viewer {

std::string MarkLineBreaks(std::string_view text) {
  std::string marked;
  marked.reserve(text.size());
  for (const char c : text) {
    if (c == '\n')
      marked += "\\n";
    else if (c == '\r')
      marked += "\\r";
    else
      marked += c;
  }
  return marked;
}

std::string ListText(const TListRows& rows, std::string_view lineEnd) {
  std::string text;
  bool anyLine = false;
  for (const TListRow& row : rows) {
    const std::string caption = MarkLineBreaks(Zorp::Base::Trim(row.Caption));
    if (row.IsValueRow()) {
      text += caption + ":" + MarkLineBreaks(row.Value());
      text += lineEnd;
    } else {
      if (anyLine) text += lineEnd;
      text += caption;
      text += lineEnd;
      text += std::string(Zorp::Base::Utf8Length(caption), '-');  // characters, not bytes
      text += lineEnd;
    }
    anyLine = true;
  }
  return text;
}

std::string ExportText(const TListRows& rows) { return "\xEF\xBB\xBF" + ListText(rows, "\r\n"); }

std::string WithDefaultExtension(const std::string& fileName) {
  return std::filesystem::path(fileName).has_extension() ? fileName : fileName + ".txt";
}

std::string CopyText(const TListRow& row) {
  const std::string caption = Zorp::Base::Trim(row.Caption);
  if (!row.IsValueRow()) return caption;
  if (caption.starts_with("Unknown")) return row.Value();
  return caption + ":\t" + row.Value();
}

}  // namespace Quorvane::Viewer

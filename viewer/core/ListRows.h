#pragma once
// The rows of the Standard and MakerNote lists: a caption, and for value rows exactly three
// sub-items (value text, row kind, select list) and, in the Standard list, a stable key. Headings
// and notices have a caption only.

#include <string>
#include <string_view>
#include <vector>

#include "zorp/exif/ExifSections.h"

namespace Quorvane::Viewer {

// Row kinds: which editor may change the row; empty means it cannot be edited.
inline constexpr std::string_view rkString = "string";
inline constexpr std::string_view rkSelect = "select";
inline constexpr std::string_view rkInt = "int";
inline constexpr std::string_view rkDateTime = "datetime";
inline constexpr std::string_view rkNoYes = "noyes";

// What a value row's caption starts with, before its label.
inline constexpr std::string_view ValueRowIndent = "   ";

struct TListRow {
  std::string Caption;
  std::vector<std::string> SubItems;  // none, or value, row kind, select list
  std::string Hint = {};              // what the row's tooltip tells about it; usually empty
  // What names a Standard value row whatever its caption says ("camera-make"); empty for other rows.
  std::string Key = {};

  bool IsValueRow() const { return !SubItems.empty(); }
  // The sub-items by name (empty when the row has none); read on every paint, so not copied.
  const std::string& Value() const { return SubItem(0); }
  const std::string& Kind() const { return SubItem(1); }
  const std::string& SelectList() const { return SubItem(2); }

 private:
  const std::string& SubItem(std::size_t index) const {
    static const std::string none;
    return index < SubItems.size() ? SubItems[index] : none;
  }
};

using TListRows = std::vector<TListRow>;

// A value row captioned three blanks and the label, inserted at the top or appended.
void AddItem(TListRows& rows, std::string_view label, bool insertAtTop, std::string_view selectList,
             std::string_view kind, std::string_view value);

// A caption-only row (heading or notice), appended.
void AddCaption(TListRows& rows, std::string_view caption);

// The "Loaded cleanly" row of a directory: "Yes", or "No: " and its load problems; a thumbnail
// directory whose container holds no thumbnail image also reports "bad image offset".
void AddLoadStatusItem(TListRows& rows, const Zorp::Exif::TExifSection& section, bool insertAtTop);

// Whether a directory's group is listed: it holds tags or had problems loading.
bool ListsSection(const Zorp::Exif::TExifSection& section);

}  // namespace Quorvane::Viewer

#include "core/ListRows.h"

#include "zorp/exif/ExifData.h"

namespace Quorvane::Viewer {

using namespace Zorp::Exif;

void AddItem(TListRows& rows, std::string_view label, bool insertAtTop, std::string_view selectList,
             std::string_view kind, std::string_view value) {
  TListRow row{std::string(ValueRowIndent) + std::string(label), {std::string(value), std::string(kind), std::string(selectList)}};
  if (insertAtTop)
    rows.insert(rows.begin(), std::move(row));
  else
    rows.push_back(std::move(row));
}

void AddCaption(TListRows& rows, std::string_view caption) { rows.push_back({std::string(caption), {}}); }

void AddLoadStatusItem(TListRows& rows, const TExifSection& section, bool insertAtTop) {
  std::string problems;
  const TExifSectionLoadErrors errors = section.LoadErrors();
  if (errors.Contains(leBadOffset)) problems += ", bad IFD offset";
  if (errors.Contains(leBadTagCount)) problems += ", bad tag count";
  if (errors.Contains(leBadTagHeader)) problems += ", one or more bad tag headers";
  if (section.Kind() == skThumbnail) {
    const auto* data = dynamic_cast<const TExifData*>(section.Owner());
    if (!data || !data->HasThumbnail()) problems += ", bad image offset";
  }
  const std::string value = problems.empty() ? "Yes" : "No:" + problems.substr(1);
  AddItem(rows, "Loaded cleanly", insertAtTop, "", rkNoYes, value);
}

bool ListsSection(const TExifSection& section) { return section.Count() > 0 || !section.LoadErrors().Empty(); }

}  // namespace Quorvane::Viewer

#pragma once
// The text forms of the list rows: the export file of a whole list and the clipboard text of one row.

#include <string>

#include "core/ListRows.h"

namespace Quorvane::Viewer {

// The export file's bytes: UTF-8 byte-order mark, then one line per value row ("Caption:value") and
// per heading (the caption underlined by as many hyphens as it has characters, an empty line before
// every heading but the first), each line ended by CR LF. Captions lose their surrounding blanks.
std::string ExportText(const TListRows& rows);

// The clipboard text of one row: a heading's caption; the value alone for an undescribed MakerNote
// tag (caption beginning "Unknown"); otherwise "Caption:", a tab and the value.
std::string CopyText(const TListRow& row);

}  // namespace Quorvane::Viewer

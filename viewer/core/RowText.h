#pragma once
// The text forms of the list rows: the export file of a whole list and the clipboard text of one row.

#include <string>
#include <string_view>

#include "core/ListRows.h"

namespace Quorvane::Viewer {

// Text for one line of a line-oriented output: every LF becomes the two characters "\n" and every
// CR "\r", so that a value or file name holding line breaks cannot start a line of its own.
std::string MarkLineBreaks(std::string_view text);

// The lines of a list: one per value row ("Caption:value") and per heading (the caption underlined
// by as many hyphens as it has characters, an empty line before every heading but the first), each
// ended by lineEnd. Captions lose their surrounding blanks; line breaks in captions and values are
// marked as MarkLineBreaks does.
std::string ListText(const TListRows& rows, std::string_view lineEnd);

// The export file's bytes: a UTF-8 byte-order mark and the list's lines ended by CR LF.
std::string ExportText(const TListRows& rows);

// The export file's name: one without extension gets ".txt", as the save dialog's default.
std::string WithDefaultExtension(const std::string& fileName);

// The clipboard text of one row: a heading's caption; the value alone for an undescribed MakerNote
// tag (caption beginning "Unknown"); otherwise "Caption:", a tab and the value.
std::string CopyText(const TListRow& row);

}  // namespace Quorvane::Viewer

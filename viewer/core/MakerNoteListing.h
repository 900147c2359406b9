#pragma once
// The MakerNote list: the camera maker's private tags, labelled and translated through the tag
// descriptions of MakerNotes.ini. The program carries no descriptions of its own; without the file
// every tag is listed as "Unknown ($xxxx)" with its raw value.
//
// Sections of the ini: "[<class>]" may name another class under UseTagsFrom whose descriptions it
// shares; "[<class>.$<ID>]" (four or more upper-case hex digits) holds TagDescription, TreatAsTagGroup
// and one key per raw value text; a group tag's elements have "[<class>.$<ID>(<index>)]" sections.
// Signed=1 reads a tag's (or, on a group, every element's unless its own section says Signed=0)
// integers as signed numbers of their width, and its raw value keys are then signed; Format=BitFlags
// names a value without a key of its own by its set bits (Bit<n>, Bit<n>Off keys, an element's own
// section first, then its group's); Format=Lens shows four rationals as "18-55mm f/3.5-5.6".
// Descriptions longer than 200 characters are cut there, with "…" added.

#include <string_view>

#include "core/IniFile.h"
#include "core/ListRows.h"
#include "zorp/exif/MakerNotes.h"

namespace Quorvane::Viewer {

// Appends the MakerNote's rows: "General" with Type, Byte order and Loaded cleanly, then "Tags" with
// one row per tag (or per element of a group tag) sorted by caption. None of them is editable. A
// MakerNote of no known layout gives the single row "Unrecognised format".
void ListMakerNote(TListRows& rows, const Zorp::Exif::TExifMakerNote& makerNote, const TMemIniFile& ini);

// The order of the sorted tag rows (and of the photo list): captions compared as text, letter case
// second.
bool CaptionTextLess(std::string_view a, std::string_view b);
bool CaptionLess(const TListRow& a, const TListRow& b);

}  // namespace Quorvane::Viewer

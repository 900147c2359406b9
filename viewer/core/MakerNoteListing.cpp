#include "core/MakerNoteListing.h"

#include <algorithm>
#include <string>

#include "core/EnumTexts.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/base/TextEncoding.h"

namespace Quorvane::Viewer {

using namespace Zorp::Exif;
using Zorp::Base::Format;

namespace {

// Undefined values up to this many bytes are shown whole; longer ones are cut.
constexpr std::int32_t MaxWholeUndefinedBytes = 50;
constexpr std::size_t CutUndefinedCharacters = 100;

// The raw display text of a tag that is not listed element by element.
std::string RawDisplay(const TExifTag& tag) {
  if (!tag.WellFormed()) return "[Badly formed tag header]";
  // Text is shown up to its first NUL, as text boxes show it; what follows is padding or garbage.
  if (tag.DataType() == dtAscii) return tag.AsString().substr(0, tag.AsString().find('\0'));
  if (tag.DataType() != dtUndefined) return tag.AsString();
  if (tag.ElementCount() <= MaxWholeUndefinedBytes) return "{" + tag.AsString() + "}";
  return "{" + Zorp::Base::Utf8Left(tag.AsString(), CutUndefinedCharacters) + "...}";
}

void AddTagRows(TListRows& rows, const TExifTag& tag, const std::string& prefix, const TMemIniFile& ini) {
  const std::string hexID = Format("%.4X", static_cast<unsigned>(tag.ID()));
  const std::string tagSection = prefix + ".$" + hexID;
  if (tag.WellFormed() && ini.ReadBool(tagSection, "TreatAsTagGroup", false)) {
    const std::string base = ini.ReadShownString(tagSection, "TagDescription", "");
    // Built by concatenation: a group may have thousands of elements.
    for (std::int32_t i = 0; i < tag.ElementCount(); ++i) {
      const std::string index = std::to_string(i);
      const std::string defaultLabel = base.empty() ? "Unknown ($" + hexID + ", " + index + ")" : base + " (" + index + ")";
      const std::string raw = tag.ElementAsString(i);
      const std::string elementSection = tagSection + "(" + index + ")";
      AddItem(rows, ini.ReadShownString(elementSection, "TagDescription", defaultLabel), false, "", "",
              ini.ReadShownString(elementSection, raw, raw));
    }
    return;
  }
  const std::string label = ini.ReadShownString(tagSection, "TagDescription", "Unknown ($" + hexID + ")");
  AddItem(rows, label, false, "", "", ini.ReadShownString(tagSection, tag.AsString(), RawDisplay(tag)));
}

}  // namespace

bool CaptionTextLess(std::string_view a, std::string_view b) {
  const int order = Zorp::Base::CompareText(a, b);
  return order != 0 ? order < 0 : a < b;
}

bool CaptionLess(const TListRow& a, const TListRow& b) { return CaptionTextLess(a.Caption, b.Caption); }

void ListMakerNote(TListRows& rows, const TExifMakerNote& makerNote, const TMemIniFile& ini) {
  if (&makerNote.ClassType() == &TUnrecognizedMakerNote) {
    AddCaption(rows, "Unrecognised format");
    return;
  }
  const std::string className = makerNote.ClassName();
  std::string prefix = ini.ReadString(className, "UseTagsFrom", "");
  if (prefix.empty()) prefix = className;

  // The tag rows are built apart and sorted, then the general rows go in front of them.
  TListRows tagRows;
  const TExifSection& section = makerNote.Tags();
  for (const TExifTag* tag : section) AddTagRows(tagRows, *tag, prefix, ini);
  std::stable_sort(tagRows.begin(), tagRows.end(), CaptionLess);

  AddCaption(rows, "General");
  // "TCanonMakerNote" -> "Canon": the class name without "T" and "MakerNote".
  AddItem(rows, "Type", false, "", "", className.substr(1, className.size() - 10));
  AddItem(rows, "Byte order", false, "", "", ByteOrderToStr(makerNote.ByteOrder()));
  AddLoadStatusItem(rows, section, false);
  AddCaption(rows, "Tags");
  rows.insert(rows.end(), std::make_move_iterator(tagRows.begin()), std::make_move_iterator(tagRows.end()));
}

}  // namespace Quorvane::Viewer

#include "core/MakerNoteListing.h"

#include <algorithm>
#include <cstring>
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
  if (!tag.WellFormed() && tag.SizeBehindData() > 0)
    return "[" + std::to_string(tag.SizeBehindData()) + " bytes behind the Exif data]";
  if (!tag.WellFormed()) return "[Badly formed tag header]";
  // Text is shown up to its first NUL and without trailing blanks, as text boxes show it; what
  // follows is padding or garbage.
  if (tag.DataType() == dtAscii) return std::string(ShownAsciiText(tag.AsString()));
  if (tag.DataType() != dtUndefined) return tag.AsString();
  if (tag.ElementCount() <= MaxWholeUndefinedBytes) return "{" + tag.AsString() + "}";
  return "{" + Zorp::Base::Utf8Left(tag.AsString(), CutUndefinedCharacters) + "...}";
}

bool IsIntegerType(TTiffDataType type) {
  switch (type) {
    case dtByte:
    case dtSByte:
    case dtUndefined:
    case dtShort:
    case dtSShort:
    case dtLong:
    case dtSLong:
      return true;
    default:
      return false;
  }
}

// Element index of an integer tag as a signed number of the element's own width.
std::int64_t SignedElement(const TExifTag& tag, std::int32_t index) {
  const std::uint32_t bits = tag.ElementAsUInt32(index);
  switch (tag.ElementSize()) {
    case 1:
      return static_cast<std::int8_t>(bits);
    case 2:
      return static_cast<std::int16_t>(bits);
    default:
      return static_cast<std::int32_t>(bits);
  }
}

// How the ini asks a value to be read and shown.
struct TValueForm {
  bool Signed = false;
  std::string Format;  // "", "BitFlags" or "Lens"
};

TValueForm ReadValueForm(const TMemIniFile& ini, const std::string& section, const TValueForm& inherited) {
  TValueForm form;
  form.Signed = ini.ReadBool(section, "Signed", inherited.Signed);
  form.Format = ini.ReadString(section, "Format", inherited.Format);
  return form;
}

// The raw text of element index: the library's text, or the signed number when the ini asks for it.
std::string ElementRawText(const TExifTag& tag, std::int32_t index, bool asSigned) {
  if (asSigned && IsIntegerType(tag.DataType())) return std::to_string(SignedElement(tag, index));
  return tag.ElementAsString(index);
}

std::string TagRawText(const TExifTag& tag, bool asSigned) {
  // Text is looked up as it is shown: "FINE" finds a camera's "FINE   ".
  if (tag.DataType() == dtAscii && tag.WellFormed()) return std::string(ShownAsciiText(tag.AsString()));
  if (!asSigned || !IsIntegerType(tag.DataType()) || !tag.WellFormed()) return tag.AsString();
  std::string text;
  for (std::int32_t i = 0; i < tag.ElementCount(); ++i) {
    if (i > 0) text += ',';
    text += std::to_string(SignedElement(tag, i));
  }
  return text;
}

// The texts of the set bits ("Bit<n>" keys), with "Bit<n>Off" texts for bits that are clear; a set bit
// without a text is named by its number. An element finds the names in its own section, then in its
// group's.
std::string BitFlagsText(const TMemIniFile& ini, const std::string& section, const std::string& groupSection,
                         std::uint32_t value) {
  std::string text;
  for (int bit = 0; bit < 32; ++bit) {
    const bool set = (value >> bit & 1U) != 0;
    const std::string key = "Bit" + std::to_string(bit);
    const std::string ident = set ? key : key + "Off";
    std::string name = ini.ReadShownString(section, ident, "");
    if (name.empty() && !groupSection.empty()) name = ini.ReadShownString(groupSection, ident, "");
    if (name.empty() && set) name = "bit " + std::to_string(bit);
    if (name.empty()) continue;
    if (!text.empty()) text += ", ";
    text += name;
  }
  return text;
}

// Four rationals - shortest and longest focal length, widest aperture at each - as a lens is named:
// "18-55mm f/3.5-5.6", "50mm f/1.8". Empty when the value is no such four.
std::string LensText(const TExifTag& tag) {
  if (tag.DataType() != dtRational && tag.DataType() != dtSRational) return {};
  if (tag.ElementCount() != 4 || tag.DataSize() < 32) return {};
  double values[4];
  for (int i = 0; i < 4; ++i) {
    std::uint32_t parts[2];
    std::memcpy(parts, tag.Data() + 8 * i, 8);
    if (parts[1] == 0) return {};
    values[i] = tag.DataType() == dtSRational
                    ? static_cast<double>(static_cast<std::int32_t>(parts[0])) / static_cast<std::int32_t>(parts[1])
                    : static_cast<double>(parts[0]) / parts[1];
  }
  auto range = [](double low, double high) {
    std::string text = Zorp::Base::FloatToStrG(low, 4);
    if (high != low) text += "-" + Zorp::Base::FloatToStrG(high, 4);
    return text;
  };
  return range(values[0], values[1]) + "mm f/" + range(values[2], values[3]);
}

// The shown value of one integer (an element, or a tag of one element) whose raw text has no key.
std::string FormattedInteger(const TMemIniFile& ini, const std::string& section, const std::string& groupSection,
                             const TValueForm& form, std::uint32_t bits, const std::string& raw) {
  if (!Zorp::Base::SameText(form.Format, "BitFlags")) return raw;
  const std::string text = BitFlagsText(ini, section, groupSection, bits);
  return text.empty() ? raw : text;
}

void AddTagRows(TListRows& rows, const TExifTag& tag, const std::string& prefix, const TMemIniFile& ini) {
  const std::string hexID = Format("%.4X", static_cast<unsigned>(tag.ID()));
  const std::string tagSection = prefix + ".$" + hexID;
  const TValueForm tagForm = ReadValueForm(ini, tagSection, {});
  if (tag.WellFormed() && ini.ReadBool(tagSection, "TreatAsTagGroup", false)) {
    const std::string base = ini.ReadShownString(tagSection, "TagDescription", "");
    // Built by concatenation: a group may have thousands of elements.
    for (std::int32_t i = 0; i < tag.ElementCount(); ++i) {
      const std::string index = std::to_string(i);
      const std::string defaultLabel =
          base.empty() ? "Unknown ($" + hexID + ", " + index + ")" : base + " (" + index + ")";
      const std::string elementSection = tagSection + "(" + index + ")";
      const TValueForm form = ReadValueForm(ini, elementSection, tagForm);
      const std::string raw = ElementRawText(tag, i, form.Signed);
      std::string shown = raw;
      if (IsIntegerType(tag.DataType()))
        shown = FormattedInteger(ini, elementSection, tagSection, form, tag.ElementAsUInt32(i), raw);
      AddItem(rows, ini.ReadShownString(elementSection, "TagDescription", defaultLabel), false, "", "",
              ini.ReadShownString(elementSection, raw, shown));
    }
    return;
  }
  const std::string label = ini.ReadShownString(tagSection, "TagDescription", "Unknown ($" + hexID + ")");
  const std::string raw = TagRawText(tag, tagForm.Signed);
  std::string shown = RawDisplay(tag);
  if (tag.WellFormed()) {
    if (tagForm.Signed && IsIntegerType(tag.DataType()) && tag.DataType() != dtUndefined) shown = raw;
    if (Zorp::Base::SameText(tagForm.Format, "Lens")) {
      const std::string lens = LensText(tag);
      if (!lens.empty()) shown = lens;
    } else if (IsIntegerType(tag.DataType()) && tag.ElementCount() == 1) {
      shown = FormattedInteger(ini, tagSection, "", tagForm, tag.ElementAsUInt32(0), shown);
    }
  }
  AddItem(rows, label, false, "", "", ini.ReadShownString(tagSection, raw, shown));
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

// `quorvane-cli tags`: loads each file with LoadFromJPEG and prints every section, the MakerNote
// class, the thumbnail and the XMP segment size, as text or as one JSON document.

#include <nlohmann/json.hpp>
#include <ostream>

#include "Commands.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/TagNames.h"

namespace Quorvane::Cli {

using namespace Zorp::Exif;

namespace {

// Keys keep the documented order.
using Json = nlohmann::ordered_json;

struct TSectionName {
  TExifSectionKind Kind;
  const char* Name;
};
constexpr TSectionName SectionNames[] = {{skPrimary, "primary"}, {skExif, "exif"},           {skInterop, "interop"},
                                         {skGps, "gps"},         {skThumbnail, "thumbnail"}, {skMakerNote, "makernote"}};

const char* TypeName(TTiffDataType type) {
  static const char* const names[] = {"BYTE",      "ASCII",     "SHORT", "LONG",  "RATIONAL", "SBYTE", "UNDEFINED",
                                      "SSHORT",    "SLONG",     "SRATIONAL", "FLOAT", "DOUBLE", "IFD"};
  return IsValidTiffDataType(type) ? names[type - 1] : "UNKNOWN";
}

const char* ByteOrderName(TByteOrder order) { return order == boBigEndian ? "MM" : "II"; }

std::vector<std::string> LoadErrorNames(TExifSectionLoadErrors errors) {
  std::vector<std::string> names;
  if (errors.Contains(leBadOffset)) names.emplace_back("bad-offset");
  if (errors.Contains(leBadTagCount)) names.emplace_back("bad-tag-count");
  if (errors.Contains(leBadTagHeader)) names.emplace_back("bad-tag-header");
  return names;
}

// A tag's text on one line: at most 200 characters, control characters escaped.
std::string LineText(const std::string& text) {
  std::string cut = Zorp::Base::Utf8Length(text) > 200 ? Zorp::Base::Utf8Left(text, 200) + "..." : text;
  std::string line;
  for (const char c : cut) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') line += "\\n";
    else if (c == '\r') line += "\\r";
    else if (c == '\t') line += "\\t";
    else if (byte < 0x20 || byte == 0x7F) line += Zorp::Base::Format("\\x%02X", byte);
    else line += c;
  }
  return line;
}

// The MakerNote object, created now so that its section is read; a MakerNote that no longer fits
// its class leaves nullptr.
const TExifMakerNote* OpenMakerNote(TExifData& data) {
  if (&data.MakerNoteType() == &TUnrecognizedMakerNote) return nullptr;
  try {
    const TExifMakerNote& note = data.MakerNote();
    return &data.MakerNoteType() == &TUnrecognizedMakerNote ? nullptr : &note;
  } catch (const Zorp::Base::Exception&) {
    return nullptr;
  }
}

void PrintText(TExifData& data, std::ostream& out) {
  const TExifMakerNote* makerNote = OpenMakerNote(data);
  out << "byte-order: " << ByteOrderName(data.ByteOrder()) << '\n';
  for (const auto& [kind, name] : SectionNames) {
    const TExifSection& section = data.PeekSection(kind);
    const auto errors = LoadErrorNames(section.LoadErrors());
    std::string errorList;
    for (const auto& error : errors) errorList += (errorList.empty() ? "" : ",") + error;
    out << "section " << name << " tags=" << section.Count() << " errors=" << (errorList.empty() ? "-" : errorList)
        << '\n';
    for (const TExifTag* tag : section) {
      // The standard name, when the number has one here, follows the number.
      out << Zorp::Base::Format("  0x%04x ", tag->ID());
      if (const char* tagName = StandardTagName(kind, tag->ID())) out << tagName << ' ';
      out << Zorp::Base::Format("%s %d ", TypeName(tag->DataType()), tag->ElementCount())
          << LineText(tag->AsString()) << (tag->WellFormed() ? "" : " (malformed)") << '\n';
    }
  }
  if (makerNote)
    out << "makernote: " << makerNote->ClassName() << ' ' << ByteOrderName(makerNote->ByteOrder()) << '\n';
  else
    out << "makernote: none\n";
  if (data.HasThumbnail())
    out << "thumbnail: " << data.Thumbnail().Bytes().size() << ' ' << data.Thumbnail().Width() << 'x'
        << data.Thumbnail().Height() << '\n';
  else
    out << "thumbnail: none\n";
  if (data.SourceMetadata().Contains(mkXMP))
    out << "xmp: " << data.XMPSegmentSize() << '\n';
  else
    out << "xmp: none\n";
}

Json ToJson(const std::string& file, TExifData& data) {
  const TExifMakerNote* makerNote = OpenMakerNote(data);
  Json result;
  result["file"] = file;
  result["byteOrder"] = ByteOrderName(data.ByteOrder());
  Json sections = Json::object();
  for (const auto& [kind, name] : SectionNames) {
    const TExifSection& section = data.PeekSection(kind);
    Json tags = Json::array();
    for (const TExifTag* tag : section) {
      Json entry = {{"id", tag->ID()}};
      // "name" only for a number with a standard name in this directory.
      if (const char* tagName = StandardTagName(kind, tag->ID())) entry["name"] = tagName;
      entry["type"] = TypeName(tag->DataType());
      entry["count"] = tag->ElementCount();
      entry["text"] = tag->AsString();
      entry["wellFormed"] = tag->WellFormed();
      tags.push_back(std::move(entry));
    }
    sections[name] = {{"loadErrors", LoadErrorNames(section.LoadErrors())}, {"tags", std::move(tags)}};
  }
  result["sections"] = std::move(sections);
  result["makerNote"] = makerNote ? Json{{"class", makerNote->ClassName()},
                                                   {"byteOrder", ByteOrderName(makerNote->ByteOrder())}}
                                  : Json(nullptr);
  result["thumbnail"] = data.HasThumbnail() ? Json{{"bytes", data.Thumbnail().Bytes().size()},
                                                             {"width", data.Thumbnail().Width()},
                                                             {"height", data.Thumbnail().Height()}}
                                            : Json(nullptr);
  result["xmp"] = data.SourceMetadata().Contains(mkXMP) ? Json{{"bytes", data.XMPSegmentSize()}}
                                                        : Json(nullptr);
  return result;
}

}  // namespace

int RunTags(const std::vector<std::string>& files, bool json, std::ostream& out, std::ostream& err) {
  int status = 0;
  Json documents = Json::array();
  for (const std::string& file : files) {
    if (!json) out << "file: " << file << '\n';
    Json document;
    try {
      TExifData data;
      data.SetEnsureEnumsInRange(false);
      data.LoadFromJPEG(file);
      if (json) {
        document = ToJson(file, data);
        document["error"] = nullptr;
      } else {
        PrintText(data, out);
      }
    } catch (const std::exception& e) {
      status = 1;
      if (json) {
        document = {{"file", file}, {"byteOrder", nullptr}, {"sections", Json::object()}, {"makerNote", nullptr},
                    {"thumbnail", nullptr}, {"xmp", nullptr},                         {"error", e.what()}};
      } else {
        out << "error: " << e.what() << '\n';
      }
      err << file << ": " << e.what() << '\n';
    }
    if (json) documents.push_back(std::move(document));
  }
  if (json) out << documents.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
  return status;
}

}  // namespace Quorvane::Cli

// `quorvane-cli tags`: loads each file through its format and prints every section, the MakerNote
// class, the thumbnail and the XMP segment size, as text or as one JSON document, each file on one of
// a few worker threads and the outputs in argument order.

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <cstring>
#include <ostream>
#include <string_view>

#include "Commands.h"
#include "FileWorkers.h"
#include "JsonWriter.h"
#include "OutputChannel.h"
#include "core/IptcListing.h"
#include "core/RowText.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/MetadataFile.h"
#include "zorp/exif/TagNames.h"

namespace Quorvane::Cli {

using namespace Zorp::Exif;
using Quorvane::Viewer::MarkLineBreaks;

namespace {

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
void AppendLineText(std::string& line, std::string_view text) {
  constexpr std::size_t MaxCharacters = 200;
  // Most texts need no escape, and are short (no cut: a character has at least one byte) or ASCII
  // as far as the cut (hex and numbers: one byte a character).
  {
    const std::size_t head = std::min(text.size(), MaxCharacters + 1);
    bool plain = true, ascii = true;
    for (std::size_t i = 0; i < head; ++i) {
      const auto byte = static_cast<unsigned char>(text[i]);
      plain &= byte >= 0x20 && byte != 0x7F;
      ascii &= byte < 0x80;
    }
    if (plain && text.size() <= MaxCharacters) {
      line += text;
      return;
    }
    if (plain && ascii) {
      line.append(text.data(), MaxCharacters);
      line += "...";
      return;
    }
  }
  // The cut lies before the 201st character (the 201st byte that does not continue a sequence);
  // one pass finds it and marks the control bytes before it.
  static const char hex[] = "0123456789ABCDEF";
  std::size_t plain = 0, seen = 0, pos = 0;  // plain: start of the bytes not yet copied
  for (; pos < text.size(); ++pos) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if ((byte & 0xC0) != 0x80 && seen++ == MaxCharacters) break;
    if (byte >= 0x20 && byte != 0x7F) continue;
    line.append(text.data() + plain, pos - plain);
    plain = pos + 1;
    if (byte == '\n') line += "\\n";
    else if (byte == '\r') line += "\\r";
    else if (byte == '\t') line += "\\t";
    else {
      line += "\\x";
      line += hex[byte >> 4];
      line += hex[byte & 0xF];
    }
  }
  line.append(text.data() + plain, pos - plain);
  if (pos < text.size()) line += "...";
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

// The bytes of a tag's text that 200 characters take: a text that is cut is ASCII (hex and numbers;
// ASCII and Windows text values are never cut), one byte a character.
constexpr std::size_t MaxLineBytes = 200;

// "  0x010f Make ASCII 6 ": a tag's line up to its text, in one append.
void AppendTagHead(std::string& out, TExifSectionKind kind, const TExifTag& tag) {
  static const char hex[] = "0123456789abcdef";
  char head[128];
  char* end = head;
  const auto put = [&](std::string_view text) {
    std::memcpy(end, text.data(), text.size());
    end += text.size();
  };
  put("  0x");
  for (int shift = 12; shift >= 0; shift -= 4) *end++ = hex[(tag.ID() >> shift) & 0xF];
  *end++ = ' ';
  // The standard name, when the number has one here, follows the number.
  const char* tagName = StandardTagName(kind, tag.ID());
  std::string_view name = tagName ? std::string_view(tagName) : std::string_view();
  if (name.size() > 64) {
    out.append(head, end);
    out += name;
    end = head;
    name = {};
  }
  if (!name.empty()) {
    put(name);
    *end++ = ' ';
  }
  put(TypeName(tag.DataType()));
  *end++ = ' ';
  end = std::to_chars(end, head + sizeof head, tag.ElementCount()).ptr;
  *end++ = ' ';
  out.append(head, end);
}

void PrintText(TExifData& data, std::string& out) {
  const TExifMakerNote* makerNote = OpenMakerNote(data);
  std::string text;  // one tag's text at a time, its room kept from tag to tag
  out += "byte-order: ";
  out += ByteOrderName(data.ByteOrder());
  out += '\n';
  for (const auto& [kind, name] : SectionNames) {
    const TExifSection& section = data.PeekSection(kind);
    const auto errors = LoadErrorNames(section.LoadErrors());
    out += "section ";
    out += name;
    out += " tags=";
    out += std::to_string(section.Count());
    out += " errors=";
    for (std::size_t i = 0; i < errors.size(); ++i) {
      if (i > 0) out += ',';
      out += errors[i];
    }
    if (errors.empty()) out += '-';
    out += '\n';
    for (const TExifTag* tag : section) {
      AppendTagHead(out, kind, *tag);
      // Only the start of a long value is shown, so only the start is formatted.
      text.clear();
      tag->AppendAsStringPrefix(text, MaxLineBytes);
      AppendLineText(out, text);
      if (tag->WellFormed())
        out += '\n';
      else
        out += " (malformed)\n";
    }
  }
  if (makerNote)
    out += std::string("makernote: ") + makerNote->ClassName() + ' ' + ByteOrderName(makerNote->ByteOrder()) + '\n';
  else
    out += "makernote: none\n";
  if (data.HasThumbnail())
    out += "thumbnail: " + std::to_string(data.Thumbnail().Bytes().size()) + ' ' +
           std::to_string(data.Thumbnail().Width()) + 'x' + std::to_string(data.Thumbnail().Height()) + '\n';
  else
    out += "thumbnail: none\n";
  if (data.SourceMetadata().Contains(mkXMP))
    out += "xmp: " + std::to_string(data.XMPSegmentSize()) + '\n';
  else
    out += "xmp: none\n";
  // The IPTC datasets, only for a photo that holds IPTC: "iptc: N", then "  2:25 Keywords = TEXT"
  // for each value.
  if (Quorvane::Viewer::HoldsIPTC(data)) {
    const auto datasets = Quorvane::Viewer::ListIPTCDatasets(data.IPTC());
    out += "iptc: " + std::to_string(datasets.size()) + '\n';
    for (const Quorvane::Viewer::TIPTCListedDataset& dataset : datasets)
      for (const std::string& value : dataset.Values) {
        out += "  " + IPTCDatasetNumber(dataset.Record, dataset.Number) + ' ' + dataset.Name + " = ";
        AppendLineText(out, value);
        out += '\n';
      }
  }
}

// Whether the tag's text is hex digits or decimal numbers with commas and slashes, which JSON takes
// as they are (BYTE values are left out: in the primary directory some hold Windows text).
bool HasPlainText(const TExifTag& tag) {
  switch (tag.DataType()) {
    case dtUndefined:
    case dtShort:
    case dtLong:
    case dtSShort:
    case dtSLong:
    case dtIfd:
    case dtRational:
    case dtSRational:
      return true;
    default:
      return false;
  }
}

// The room a tag object takes besides its text (up to three characters a byte: "65535," for two),
// and the most a document reserves ahead.
constexpr std::uint64_t TagJsonRoom = 160;
constexpr std::uint64_t MaxReserve = std::uint64_t{64} << 20;

// Appends integer value at p, which has room for it.
template <typename TInt>
char* PutNumber(char* p, TInt value) {
  return std::to_chars(p, p + 24, value).ptr;
}

char* PutText(char* p, std::string_view text) {
  std::memcpy(p, text.data(), text.size());
  return p + text.size();
}

// A short fixed text kept in a block of constant size: copied whole, without a call to memcpy, into
// an output with PaddedSize bytes of room past its end; longer texts are copied as they are.
constexpr std::size_t PaddedSize = 48;
struct TPaddedText {
  explicit TPaddedText(std::string_view text = {}) : Long(text) {
    if (text.size() <= PaddedSize) text.copy(Short.data(), text.size());
  }
  std::string Long;
  std::array<char, PaddedSize> Short{};
};

char* PutPadded(char* p, const TPaddedText& text) {
  if (text.Long.size() > PaddedSize) return PutText(p, text.Long);
  std::memcpy(p, text.Short.data(), PaddedSize);
  return p + text.Long.size();
}

// The fixed text of the tag objects at one indent level: before "id" (a first or a later element),
// "name", "type", "count" and "text" with the quotes around the strings that follow or precede them,
// and the two ends after a tag's text.
struct TTagJsonPieces {
  explicit TTagJsonPieces(std::size_t depth) : Depth(depth) {
    const TJsonObjectPieces members({"id", "name", "type", "count", "text", "wellFormed"}, depth);
    Opening[0] = TPaddedText(members.ElementOpening(false));
    Opening[1] = TPaddedText(members.ElementOpening(true));
    Name = TPaddedText(std::string(members.Before(1)) + '"');
    Type = TPaddedText(std::string(members.Before(2)) + '"');
    Count = TPaddedText('"' + std::string(members.Before(3)));
    Text = TPaddedText(std::string(members.Before(4)) + '"');
    Fixed = std::max(Opening[0].Long.size(), Opening[1].Long.size()) + Name.Long.size() + Type.Long.size() +
            Count.Long.size() + Text.Long.size();
    for (const bool wellFormed : {false, true}) {
      std::string& tail = Tails[wellFormed ? 1 : 0];
      tail = '"';
      tail += members.Before(5);
      tail += wellFormed ? "true" : "false";
      tail += members.Closing();
    }
  }
  std::size_t Depth;
  TPaddedText Opening[2], Name, Type, Count, Text;
  std::size_t Fixed;     // the most the pieces before a tag's text take together
  std::string Tails[2];  // the text's closing quote, "wellFormed" and the object's end
};

// The type names, padded for PutPadded.
const TPaddedText& PaddedTypeName(TTiffDataType type) {
  static const auto names = [] {
    std::array<TPaddedText, 14> padded;
    for (int i = 0; i < 14; ++i) padded[i] = TPaddedText(TypeName(static_cast<TTiffDataType>(i)));
    return padded;
  }();
  return names[IsValidTiffDataType(type) ? type : 0];
}

// A tag number's standard name in a directory, with whether JSON takes it as it is: looked up once
// for each number in each thread, as photos repeat the same tags.
struct TTagName {
  std::uint32_t Key = UINT32_MAX;  // kind and number; no number yet
  const char* Name = nullptr;
  std::string_view Text;
  bool Plain = true;
};

const TTagName& LookUpTagName(TExifSectionKind kind, TExifTagID id) {
  thread_local std::array<TTagName, 256> cache;
  const std::uint32_t key = static_cast<std::uint32_t>(kind) << 16 | id;
  TTagName& entry = cache[(id + 37u * static_cast<unsigned>(kind)) & 0xFFu];
  if (entry.Key != key) {
    entry.Key = key;
    entry.Name = StandardTagName(kind, id);
    entry.Text = entry.Name ? std::string_view(entry.Name) : std::string_view();
    entry.Plain = IsPlainJsonText(entry.Text);
  }
  return entry;
}

// One tag's object: its fixed text, numbers and names formed in one growth of the output, the text
// straight after them; the same text as the writer's members would give.
void WriteTagJson(std::string& out, const TTagJsonPieces& pieces, bool first, TExifSectionKind kind,
                  const TExifTag& tag) {
  const TTagName& name = LookUpTagName(kind, tag.ID());
  // The most that goes before the text (the pieces, the names, two numbers), and the padding.
  const std::size_t room = pieces.Fixed + (name.Plain ? name.Text.size() + 1 : 0) + PaddedSize + 2 * 24 + PaddedSize;
  const std::size_t start = out.size();
  out.resize(start + room);
  char* p = out.data() + start;
  p = PutPadded(p, pieces.Opening[first ? 1 : 0]);
  p = PutNumber(p, std::int64_t{tag.ID()});
  // "name" only for a number with a standard name in this directory.
  if (name.Name) {
    p = PutPadded(p, pieces.Name);
    if (!name.Plain) {
      out.resize(static_cast<std::size_t>(p - out.data()) - 1);  // without the opening quote
      AppendJsonString(out, name.Text);
      const std::size_t named = out.size();
      out.resize(named + room);
      p = out.data() + named;
    } else {
      p = PutText(p, name.Text);
      *p++ = '"';
    }
  }
  p = PutPadded(p, pieces.Type);
  p = PutPadded(p, PaddedTypeName(tag.DataType()));
  p = PutPadded(p, pieces.Count);
  p = PutNumber(p, std::int64_t{tag.ElementCount()});
  p = PutPadded(p, pieces.Text);
  out.resize(static_cast<std::size_t>(p - out.data()));
  // The whole text, formatted into the output and not kept in the tag's cache; hex digits are
  // formed here, sixteen bytes at a time.
  const std::size_t textStart = out.size() - 1;
  if (tag.DataType() == dtUndefined) {
    if (tag.ElementCount() > 0) AppendHexDigits(out, tag.Bytes());
  } else {
    tag.AppendAsString(out);
    if (!HasPlainText(tag)) EscapeAppendedText(out, textStart);
  }
  out += pieces.Tails[tag.WellFormed() ? 1 : 0];
}

// One file's document, written as an element of the outer array.
void WriteJson(TJsonWriter& json, const std::string& file, TExifData& data) {
  const TExifMakerNote* makerNote = OpenMakerNote(data);
  // Room for the whole document at once: most of it is the tags' texts.
  std::uint64_t estimate = 1024;
  for (const auto& [kind, name] : SectionNames)
    for (const TExifTag* tag : data.PeekSection(kind))
      estimate += TagJsonRoom + 3 * static_cast<std::uint64_t>(tag->DataSize());
  json.Output().reserve(json.Output().size() + std::min<std::uint64_t>(estimate, MaxReserve));
  // Every tag object lies at the same level: its fixed text is formed once for each thread.
  thread_local std::optional<TTagJsonPieces> tagPieces;
  json.BeginObject();
  json.Key("file");
  json.String(file);
  json.Key("byteOrder");
  json.String(ByteOrderName(data.ByteOrder()));
  json.Key("sections");
  json.BeginObject();
  for (const auto& [kind, name] : SectionNames) {
    const TExifSection& section = data.PeekSection(kind);
    json.Key(name);
    json.BeginObject();
    json.Key("loadErrors");
    json.StringArray(LoadErrorNames(section.LoadErrors()));
    json.Key("tags");
    json.BeginArray();
    for (const TExifTag* tag : section) {
      if (!tagPieces || tagPieces->Depth != json.Depth()) tagPieces.emplace(json.Depth());
      WriteTagJson(json.Output(), *tagPieces, json.BeginRawElement(), kind, *tag);
    }
    json.EndArray();
    json.EndObject();
  }
  json.EndObject();
  json.Key("makerNote");
  if (makerNote) {
    json.BeginObject();
    json.Key("class");
    json.String(makerNote->ClassName());
    json.Key("byteOrder");
    json.String(ByteOrderName(makerNote->ByteOrder()));
    json.EndObject();
  } else {
    json.Null();
  }
  json.Key("thumbnail");
  if (data.HasThumbnail()) {
    json.BeginObject();
    json.Key("bytes");
    json.Number(std::uint64_t{data.Thumbnail().Bytes().size()});
    json.Key("width");
    json.Number(std::int64_t{data.Thumbnail().Width()});
    json.Key("height");
    json.Number(std::int64_t{data.Thumbnail().Height()});
    json.EndObject();
  } else {
    json.Null();
  }
  json.Key("xmp");
  if (data.SourceMetadata().Contains(mkXMP)) {
    json.BeginObject();
    json.Key("bytes");
    json.Number(std::int64_t{data.XMPSegmentSize()});
    json.EndObject();
  } else {
    json.Null();
  }
  // The IPTC datasets of records 1 and 2, each with its values in file order; null without IPTC.
  json.Key("iptc");
  if (Quorvane::Viewer::HoldsIPTC(data)) {
    json.BeginArray();
    for (const Quorvane::Viewer::TIPTCListedDataset& dataset : Quorvane::Viewer::ListIPTCDatasets(data.IPTC())) {
      json.BeginObject();
      json.Key("record");
      json.Number(std::int64_t{dataset.Record});
      json.Key("dataset");
      json.Number(std::int64_t{dataset.Number});
      json.Key("name");
      json.String(dataset.Name);
      json.Key("values");
      json.StringArray(dataset.Values);
      json.EndObject();
    }
    json.EndArray();
  } else {
    json.Null();
  }
  json.Key("error");
  json.Null();
  json.EndObject();
}

// The document of a file that could not be read: the keys of every document, without data; "error"
// is true (the reason goes to standard error).
void WriteFailedJson(TJsonWriter& json, const std::string& file) {
  json.BeginObject();
  json.Key("file");
  json.String(file);
  json.Key("byteOrder");
  json.Null();
  json.Key("sections");
  json.BeginObject();
  json.EndObject();
  for (const char* key : {"makerNote", "thumbnail", "xmp", "iptc"}) {
    json.Key(key);
    json.Null();
  }
  json.Key("error");
  json.Bool(true);
  json.EndObject();
}

TFileOutput TagsOfFile(const std::string& file, std::size_t index, bool json) {
  TFileOutput output;
  std::string& out = output.Out;
  out.reserve(json ? 32768 : 8192);  // a typical photo's output, grown without copies
  if (json) out += index > 0 ? ",\n  " : "\n  ";
  else out += "file: " + MarkLineBreaks(file) + '\n';
  TJsonWriter writer(out, 1);
  try {
    const auto photo = TMetadataFile::Create(file);
    TExifData& data = photo->Exif();
    data.SetEnsureEnumsInRange(false);
    photo->Load();
    if (!data.RecoveryNote().empty()) output.Err = ErrorLine(file, data.RecoveryNote());
    if (json) WriteJson(writer, file, data);
    else PrintText(data, out);
  } catch (const std::exception& e) {
    // A file that could not be read has no text, and a JSON document without data.
    output.Failed = true;
    out.clear();
    if (json) {
      out += index > 0 ? ",\n  " : "\n  ";
      TJsonWriter failed(out, 1);
      WriteFailedJson(failed, file);
    }
    output.Err += ErrorLine(file, e.what());
  }
  return output;
}

}  // namespace

int RunTags(const std::vector<std::string>& files, bool json, std::ostream& out, std::ostream& err, unsigned jobs) {
  if (json && files.empty()) {
    out << "[]\n";
    return 0;
  }
  if (json) out << '[';
  const int status = RenderFilesInOrder(
      files.size(), [&](std::size_t i) { return TagsOfFile(files[i], i, json); }, WorkerCount(jobs, files.size()), out,
      err);
  if (json) out << "\n]\n";
  return status;
}

}  // namespace Quorvane::Cli

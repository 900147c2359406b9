#pragma once
// The values a photo may hold up to three copies of, in Exif, IPTC and XMP, reconciled as the
// Metadata Working Group's guidelines say. On reading, the Exif copy wins where there is one (the
// Windows author, keywords and title stand in for a missing Exif copy, but come last); between IPTC
// and XMP the XMP copy wins unless the IPTC digest is stale, which shows that a program that knows
// no XMP changed the IPTC afterwards; a file that is not written in place takes its sidecar's value
// first, since that is where its edits go. On writing, the IPTC copy follows an edit where the photo
// holds IPTC.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zorp/exif/ExifData.h"
#include "zorp/exif/MetadataFile.h"

namespace Zorp::Exif {

enum TMWGValue : std::uint8_t {
  mvCopyright = 0,         // Exif Copyright, IPTC CopyrightNotice, XMP dc:rights
  mvCreator = 1,           // Exif Artist, IPTC By-line, XMP dc:creator (the Windows author last)
  mvDescription = 2,       // Exif ImageDescription, IPTC Caption-Abstract, XMP dc:description
  mvKeywords = 3,          // the Windows keywords, IPTC Keywords, XMP dc:subject
  mvTitle = 4,             // the Windows title, IPTC ObjectName, XMP dc:title
  mvDateTimeOriginal = 5,  // Exif DateTimeOriginal, IPTC DateCreated + TimeCreated, XMP photoshop:DateCreated
};

enum TMWGSource : std::uint8_t { msNone = 0, msExif = 1, msIPTC = 2, msXMP = 3, msSidecar = 4 };

// Each copy's text ("" for a copy that is absent or empty); Exif holds the Windows tag's text when
// the Exif tag the guidelines name is missing. Lists are joined with "; "; a
// date-time reads "yyyy:mm:dd hh:nn:ss" (seconds only as far as the copy has them).
struct TMWGCopies {
  std::string Exif, IPTC, XMP, Sidecar;
};

struct TMWGReading {
  std::string Value;  // the text to show; empty when no copy holds one
  TMWGSource Source = msNone;
  // Two copies that hold a value hold different ones.
  bool Disagree = false;
  TMWGCopies Copies;
};

// Reads the copies of item in data's Exif, IPTC and XMP; sidecar, when given, is a sidecar packet
// whose value wins (the packet of a file that is not written in place).
TMWGReading ReadMWGValue(TExifData& data, TMWGValue item, TXMPPacket* sidecar = nullptr);
// The same for a metadata file: its sidecar wins when the file is not written in place.
TMWGReading ReadMWGValue(TMetadataFile& file, TMWGValue item);

// The items of a list held in one text, separated by ";" (the Windows keywords, the guidelines' list in
// a single Exif string): trimmed, without empty ones.
std::vector<std::string> SplitListText(std::string_view text);

// "Exif", "IPTC", "XMP", "XMP sidecar".
const char* MWGSourceName(TMWGSource source);

// Writes value (text as the Exif setters take it: keywords separated by ";", a date-time as
// "yyyy:mm:dd hh:nn:ss") into the IPTC copy of item when the photo holds IPTC datasets; an empty
// value removes the datasets. Raises what the IPTC data raises for a value it cannot hold, before
// changing anything.
void UpdateIPTCCopy(TExifData& data, TMWGValue item, const std::string& value);

}  // namespace Zorp::Exif

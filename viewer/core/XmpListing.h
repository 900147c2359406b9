#pragma once
// The XMP list: the photo's XMP properties as read-only rows, one per simple value, captioned with
// its path as quorvane-cli xmp prints it ("exif:Flash/exif:Fired", "dc:subject[2]").

#include <string_view>

#include "core/ListRows.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/XMPPacket.h"

namespace Quorvane::Viewer {

inline constexpr std::string_view NoXMPNotice = "No XMP packet found";
inline constexpr std::string_view XMPFailureNotice = "Could not read the XMP packet: ";

// Appends the rows of the packet's values: caption the path, sub-items the value (line breaks shown
// as "\n"), no kind and no choices.
void ListXMPPacket(TListRows& rows, const Zorp::Exif::TXMPPacket& packet);

// Appends the rows of the photo's packet, or one notice: NoXMPNotice when the photo holds no XMP
// segment, XMPFailureNotice and the reason when the segment is not a packet. Reads the packet.
void ListXMP(TListRows& rows, Zorp::Exif::TExifData& data);

}  // namespace Quorvane::Viewer

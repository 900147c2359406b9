#pragma once
// The XMP list: the photo's XMP properties as read-only rows, one per simple value, captioned with
// its path as quorvane-cli xmp prints it ("exif:Flash/exif:Fired", "dc:subject[2]").

#include <string_view>

#include "core/ListRows.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/MetadataFile.h"
#include "zorp/exif/XMPPacket.h"

namespace Quorvane::Viewer {

inline constexpr std::string_view NoXMPNotice = "No XMP packet found";
inline constexpr std::string_view XMPFailureNotice = "Could not read the XMP packet: ";
inline constexpr std::string_view SidecarCaption = "XMP sidecar ";
inline constexpr std::string_view SidecarFailureNotice = "Could not read the XMP sidecar ";
inline constexpr std::string_view EmbeddedXMPCaption = "XMP embedded in the photo";

// Appends the rows of the packet's values: caption the path, sub-items the value (line breaks shown
// as "\n"), no kind and no choices.
void ListXMPPacket(TListRows& rows, const Zorp::Exif::TXMPPacket& packet);

// Appends the rows of the photo's packet, or one notice: NoXMPNotice when the photo holds no XMP
// segment, XMPFailureNotice and the reason when the segment is not a packet. Reads the packet.
void ListXMP(TListRows& rows, Zorp::Exif::TExifData& data);

// The photo file's packets with their origin: the embedded packet as ListXMP gives it, then, when
// the photo has a sidecar, the caption SidecarCaption and the sidecar's name over its rows (or
// SidecarFailureNotice, the name and the reason). A file that is not written in place shows its
// embedded packet under EmbeddedXMPCaption, and NoXMPNotice when it has neither.
void ListXMP(TListRows& rows, Zorp::Exif::TMetadataFile& file);

}  // namespace Quorvane::Viewer

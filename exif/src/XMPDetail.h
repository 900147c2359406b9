#pragma once
// Internals shared by the XMP model, reader and writer.

#include <cstdint>
#include <string>

namespace Zorp::Exif {
class TXMPPacket;
}

namespace Zorp::Exif::Detail {

// Packet text larger than this is not parsed (an APP1 segment holds under 64 KiB; files on their
// own rarely exceed a few MiB).
inline constexpr std::int64_t MaxXMPInputSize = 16 * 1024 * 1024;
// Property nesting below this depth is ignored when reading and listing.
inline constexpr int MaxXMPDepth = 256;

// The packet text as the writer lays it out from the model, without the segment signature.
std::string SerializeXMPPacket(const TXMPPacket& packet);

}  // namespace Zorp::Exif::Detail

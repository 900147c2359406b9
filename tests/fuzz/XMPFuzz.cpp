// Fuzz harness over XMP reading and writing: load arbitrary bytes as a packet, then save it.
// Only the library's own exceptions are expected; anything else (or a crash) is a finding.

#include <cstddef>
#include <cstdint>

#include "zorp/base/Exceptions.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/XMPUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    Zorp::Exif::TXMPPacket packet;
    Zorp::Base::TUserMemoryStream input(data, static_cast<std::int64_t>(size));
    if (packet.TryLoadFromStream(input)) {
      Zorp::Exif::ListXMPValues(packet);
      Zorp::Base::TMemoryStream output;
      packet.SaveToStream(output);
      packet.Changed(true);  // the regenerated text as well as the cached one
      packet.SaveToStream(output);
    }
  } catch (const Zorp::Base::Exception&) {
  }
  return 0;
}

// Loading an XMP packet while memory runs out: every allocation of a load is made to fail in turn,
// and each failure must leave the packet's previous model, cache and settings as they were. The test
// has an executable of its own because it replaces the global allocation functions.

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "zorp/base/Streams.h"
#include "zorp/exif/XMPUtils.h"

namespace {

// While positive, counts allocations down; the one that brings it to zero fails.
long AllocationsBeforeFailure = 0;

}  // namespace

void* operator new(std::size_t size) {
  if (AllocationsBeforeFailure > 0 && --AllocationsBeforeFailure == 0) throw std::bad_alloc();
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

using namespace Zorp::Exif;

const std::string RDFStart =
    "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>";
const std::string RDFEnd = "</rdf:RDF></x:xmpmeta>";

struct TPacketState {
  std::vector<std::string> Values;
  std::string About;
  std::string RawXML;
  bool WriteSegmentHeader;
  bool operator==(const TPacketState&) const = default;
};

TPacketState StateOf(const TXMPPacket& packet) {
  return {ListXMPValues(packet), packet.AboutAttributeValue(), packet.RawXML(), packet.WriteSegmentHeader()};
}

TEST(AnXMPPacketLoad, KeepsThePreviousModelWhenAnyAllocationFails) {
  const std::string before =
      RDFStart + "<rdf:Description rdf:about='old' xmlns:tiff='http://ns.adobe.com/tiff/1.0/' tiff:Make='Old'/>" +
      RDFEnd;
  const std::string after =
      std::string(XMPSignature) + RDFStart +
      "<rdf:Description rdf:about='new' xmlns:dc='http://purl.org/dc/elements/1.1/'"
      " xmlns:exif='http://ns.adobe.com/exif/1.0/' exif:ExposureTime='1/60'>"
      "<dc:subject><rdf:Bag><rdf:li>a</rdf:li><rdf:li>b</rdf:li></rdf:Bag></dc:subject>"
      "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>Title</rdf:li></rdf:Alt></dc:title>"
      "<exif:Flash rdf:parseType='Resource'><exif:Fired>True</exif:Fired><exif:Mode>2</exif:Mode></exif:Flash>"
      "</rdf:Description>" +
      RDFEnd;
  // Both with and without the xpacket wrapper, whose absence makes the loader serialise the document.
  for (const std::string& text :
       {after, std::string(XMPSignature) + "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>" +
                   after.substr(XMPSignature.size()) + "<?xpacket end='w'?>"}) {
    TXMPPacket packet;
    packet.SetRawXML(before);
    const TPacketState old = StateOf(packet);
    ASSERT_FALSE(old.Values.empty());

    bool loaded = false;
    long failures = 0;
    for (long failAt = 1; !loaded && failAt < 100000; ++failAt) {
      Zorp::Base::TUserMemoryStream stream(text.data(), static_cast<std::int64_t>(text.size()));
      AllocationsBeforeFailure = failAt;
      try {
        packet.LoadFromStream(stream);
        loaded = true;
      } catch (const std::bad_alloc&) {
        ++failures;
      }
      AllocationsBeforeFailure = 0;
      if (!loaded) {
        ASSERT_EQ(StateOf(packet), old) << "allocation " << failAt;
      }
    }
    ASSERT_TRUE(loaded);
    EXPECT_GT(failures, 10);
    EXPECT_TRUE(packet.WriteSegmentHeader());
    EXPECT_EQ(packet.AboutAttributeValue(), "new");
    EXPECT_EQ(ListXMPValues(packet).size(), 6u);
  }
}

}  // namespace

#pragma once
// Reading back what a test wrote: a photo loaded from its file, the value of one XMP property.

#include <memory>
#include <string>

#include "zorp/exif/ExifData.h"
#include "zorp/exif/XMPPacket.h"

namespace Zorp::Testing {

inline std::unique_ptr<Zorp::Exif::TExifData> LoadedPhoto(const std::string& path) {
  auto data = std::make_unique<Zorp::Exif::TExifData>();
  data->LoadFromJPEG(path);
  return data;
}

// The property's value in the photo's XMP packet, or "(none)".
inline std::string XMPValueOf(Zorp::Exif::TExifData& data, Zorp::Exif::TXMPNamespaceKind kind,
                              const std::string& name) {
  Zorp::Exif::TXMPSchema* schema = nullptr;
  Zorp::Exif::TXMPProperty* property = nullptr;
  if (!data.XMPPacket().FindSchema(kind, schema) || !schema->FindProperty(name, property)) return "(none)";
  return property->ReadValue();
}

}  // namespace Zorp::Testing

// Fuzz harness over load-edit-save-reload: arbitrary bytes loaded as a JPEG file, a property
// changed, the JPEG rewritten in memory and read back. Only the library's own exceptions are
// expected; anything else (or a crash) is a finding.

#include <cstddef>
#include <cstdint>

#include "zorp/base/Exceptions.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/ExifData.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace Zorp::Exif;
  TExifData data;
  Zorp::Base::TUserMemoryStream input(bytes, static_cast<std::int64_t>(size));
  try {
    data.LoadFromJPEG(input);
  } catch (const Zorp::Base::Exception&) {
    return 0;
  }
  try {
    data.SetCameraMake("Quorvane");
    Zorp::Base::TMemoryStream output;
    input.SetPosition(0);
    data.SaveToJPEG(input, output);
    output.SetPosition(0);
    TExifData reread;
    reread.LoadFromJPEG(output);
    for (int kind = skPrimary; kind <= skMakerNote; ++kind)
      for (const TExifTag* tag : reread.Sections(static_cast<TExifSectionKind>(kind))) (void)tag->AsString();
  } catch (const Zorp::Base::Exception&) {
  }
  return 0;
}

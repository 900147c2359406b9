// Containers on different threads at once: each thread loads, edits, saves and lists its own
// container under its own format settings and its own commit hook, and gets what it gets alone.
// Run under ThreadSanitizer (-DQUORVANE_THREAD_SANITIZE=ON) this also shows that no shared state
// is written.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>

#include "ByteBuilder.h"
#include "ExifBuilder.h"
#include "SamplePhotos.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/base/SafeFile.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/JPEGUtils.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/XMPUtils.h"

namespace {

namespace fs = std::filesystem;
using namespace Zorp::Exif;
using Zorp::Testing::ExifBuilder;
using Bytes = std::vector<std::uint8_t>;

Bytes Photo() {
  ExifBuilder block;
  block.Primary.Ascii(ttMake, "Maker").Ascii(ttModel, "Model");
  block.Exif.Rational(ttExposureTime, 1, 60);
  block.Gps.Ascii(ttGPSLatitudeRef, "N").Raw(ttGPSLatitude, 5, 3, {}, {48, 1, 125, 10, 0, 1});
  Zorp::Testing::ByteBuilder jpeg;
  jpeg.Bytes({0xFF, 0xD8}).Segment(jmApp1, block.Build()).Bytes({0xFF, 0xD9});
  return jpeg.Data();
}

struct TThreadCase {
  char DecimalSeparator;
  bool CommitFails;  // this thread's saves are interrupted by its own commit hook
};

// What one thread sees: the displayed float, the stored XMP latitude, the saved model, and whether
// its file saves went through.
std::string Work(const TThreadCase& c, const Bytes& photo, const std::string& path) {
  Zorp::Base::TFormatSettings settings = Zorp::Base::FormatSettings();
  settings.DecimalSeparator = c.DecimalSeparator;
  Zorp::Base::SetFormatSettings(settings);
  if (c.CommitFails)
    Zorp::Base::SetSafeFileCommitHook([](const std::string&) { throw Zorp::Base::EWriteError("interrupted"); });
  std::string seen;
  for (int round = 0; round < 20; ++round) {
    Zorp::Testing::WriteFileBytes(path, photo);
    TExifData data;
    data.LoadFromJPEG(path);
    data.SetCameraModel(std::string("Model ") + c.DecimalSeparator);
    data.XMPPacket().UpdateProperty(xnExif, "GPSLatitude", data.GPSLatitude().AsString());
    bool saved = true;
    try {
      data.SaveToJPEG(path);
    } catch (const Zorp::Base::EWriteError&) {
      saved = false;
    }
    TExifData reread;
    reread.LoadFromJPEG(path);
    seen = Zorp::Base::FloatToStrG(1.5) + " | " + data.GPSLatitude().AsString() + " | " + reread.CameraModel() +
           " | " + (saved ? "saved" : "refused");
  }
  return seen;
}

TEST(TwoThreads, WorkOnTheirOwnContainersAtOnce) {
  const Bytes photo = Photo();
  const fs::path folder = fs::temp_directory_path() / ("quorvane-threads-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const TThreadCase cases[2] = {{',', false}, {'.', true}};
  std::string seen[2];
  std::thread first([&] { seen[0] = Work(cases[0], photo, (folder / "a.jpg").string()); });
  std::thread second([&] { seen[1] = Work(cases[1], photo, (folder / "b.jpg").string()); });
  first.join();
  second.join();
  fs::remove_all(folder);
  // The latitude is a stored text: the invariant format on both threads.
  EXPECT_EQ(seen[0], "1,5 | 48,12.5N | Model , | saved");
  EXPECT_EQ(seen[1], "1.5 | 48,12.5N | Model | refused");
}

}  // namespace

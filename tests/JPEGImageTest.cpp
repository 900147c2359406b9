#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "zorp/base/Exceptions.h"
#include "zorp/base/JPEGImage.h"

namespace {

using Zorp::Base::TJPEGImage;
using Zorp::Base::TMemoryStream;

// A width x height RGB picture: a colour gradient with some detail, so quality matters for size.
std::vector<std::uint8_t> Picture(int width, int height) {
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      p[0] = static_cast<std::uint8_t>(x * 255 / width);
      p[1] = static_cast<std::uint8_t>(y * 255 / height);
      p[2] = static_cast<std::uint8_t>(((x / 4 + y / 4) % 2) * 200);
    }
  return rgb;
}

// The picture compressed by TurboJPEG directly, independent of the class under test.
std::vector<std::uint8_t> MakeJPEG(int width, int height, int quality = 85) {
  const std::vector<std::uint8_t> rgb = Picture(width, height);
  tjhandle handle = tjInitCompress();
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const int result =
      tjCompress2(handle, rgb.data(), width, 0, height, TJPF_RGB, &buffer, &size, TJSAMP_420, quality, 0);
  tjDestroy(handle);
  std::vector<std::uint8_t> jpeg;
  if (result == 0) jpeg.assign(buffer, buffer + size);
  tjFree(buffer);
  return jpeg;
}

std::vector<std::uint8_t> Saved(const TJPEGImage& image) {
  TMemoryStream stream;
  image.SaveToStream(stream);
  return stream.Bytes();
}

template <typename E, typename F>
void ExpectThrowStartingWith(F action, const std::string& prefix) {
  try {
    action();
  } catch (const E& error) {
    EXPECT_EQ(error.Message().rfind(prefix, 0), 0u) << error.Message();
    return;
  }
  ADD_FAILURE() << "nothing was raised, expected: " << prefix;
}

TEST(AJPEGImage, StartsEmptyWithTheDefaultQuality) {
  const TJPEGImage image;
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(image.Width(), 0);
  EXPECT_EQ(image.Height(), 0);
  EXPECT_EQ(image.CompressionQuality(), 90);
  EXPECT_TRUE(Saved(image).empty());
}

TEST(AJPEGImage, ReadsItsSizeAndSavesTheLoadedBytesUnchanged) {
  const std::vector<std::uint8_t> jpeg = MakeJPEG(64, 48);
  ASSERT_FALSE(jpeg.empty());
  TJPEGImage image;
  image.LoadFromBytes(jpeg.data(), jpeg.size());
  EXPECT_FALSE(image.Empty());
  EXPECT_EQ(image.Width(), 64);
  EXPECT_EQ(image.Height(), 48);
  EXPECT_EQ(Saved(image), jpeg);

  // A change of quality alone does not touch bytes that were loaded.
  image.SetCompressionQuality(40);
  EXPECT_EQ(Saved(image), jpeg);
}

TEST(AJPEGImage, LoadsCountBytesFromAStreamAndRefusesMoreThanThereAre) {
  const std::vector<std::uint8_t> jpeg = MakeJPEG(16, 16);
  TMemoryStream stream;
  stream.WriteBuffer("xx", 2);
  stream.WriteBuffer(jpeg.data(), static_cast<std::int64_t>(jpeg.size()));
  stream.WriteBuffer("trailing", 8);
  stream.SetPosition(2);
  TJPEGImage image;
  image.LoadFromStream(stream, static_cast<std::int64_t>(jpeg.size()));
  EXPECT_EQ(image.Bytes(), jpeg);
  EXPECT_EQ(stream.Position(), 2 + static_cast<std::int64_t>(jpeg.size()));

  stream.SetPosition(2);
  try {
    image.LoadFromStream(stream, std::int64_t{1} << 40);  // a declared size far beyond the data
    ADD_FAILURE() << "nothing was raised";
  } catch (const Zorp::Base::EReadError& error) {
    EXPECT_EQ(error.Message(), "Stream read error");
  }
  EXPECT_EQ(image.Bytes(), jpeg);
}

TEST(AJPEGImage, GivesNoSizeForDamagedDataAndRaisesOnlyWhenPixelsAreNeeded) {
  std::vector<std::uint8_t> jpeg = MakeJPEG(32, 32);
  const std::vector<std::vector<std::uint8_t>> damaged = {
      {0xFF, 0xD8, 0xFF, 0xE0, 0x00},                              // header cut short
      std::vector<std::uint8_t>(jpeg.begin(), jpeg.begin() + 20),  // no frame header at all
      {'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G'},
  };
  for (const auto& bytes : damaged) {
    TJPEGImage image;
    image.LoadFromBytes(bytes.data(), bytes.size());
    EXPECT_FALSE(image.Empty());
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.Height(), 0);
    EXPECT_EQ(Saved(image), bytes);
    std::vector<std::uint8_t> rgb{1, 2, 3};
    int width = -1, height = -1;
    EXPECT_FALSE(image.DecodeRGB(rgb, width, height));
    EXPECT_TRUE(rgb.empty());
    EXPECT_EQ(width, 0);
    ExpectThrowStartingWith<Zorp::Base::EInvalidGraphic>([&] { (void)image.StretchedTo(8, 8); }, "JPEG error: ");
    ExpectThrowStartingWith<Zorp::Base::EInvalidGraphic>([&] { (void)image.Encoded(50); }, "JPEG error: ");
  }
}

TEST(AJPEGImage, DecodesWhatThereIsOfATruncatedScan) {
  const std::vector<std::uint8_t> jpeg = MakeJPEG(64, 64);
  TJPEGImage image;
  image.LoadFromBytes(jpeg.data(), jpeg.size() / 2);
  std::vector<std::uint8_t> rgb;
  int width = 0, height = 0;
  EXPECT_TRUE(image.DecodeRGB(rgb, width, height));
  EXPECT_EQ(width, 64);
  EXPECT_EQ(rgb.size(), 64u * 64u * 3u);
  EXPECT_EQ(image.StretchedTo(32, 32).Width(), 32);
}

TEST(AJPEGImage, RefusesAHeaderDeclaringAnOversizedPicture) {
  std::vector<std::uint8_t> jpeg = MakeJPEG(16, 16);
  // Patch the frame header (FF C0, length, precision, height, width) to 60000 x 60000.
  for (std::size_t i = 0; i + 8 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 5] = jpeg[i + 7] = 0xEA;
      jpeg[i + 6] = jpeg[i + 8] = 0x60;
      break;
    }
  TJPEGImage image;
  image.LoadFromBytes(jpeg.data(), jpeg.size());
  EXPECT_EQ(image.Width(), 60000);
  std::vector<std::uint8_t> rgb;
  int width = 0, height = 0;
  EXPECT_FALSE(image.DecodeRGB(rgb, width, height));
  ExpectThrowStartingWith<Zorp::Base::EInvalidGraphic>([&] { (void)image.Encoded(50); }, "JPEG error: ");
}

TEST(AJPEGImage, StretchesToTheRequestedSize) {
  const std::vector<std::uint8_t> jpeg = MakeJPEG(320, 240);
  TJPEGImage image;
  image.SetCompressionQuality(75);
  image.LoadFromBytes(jpeg.data(), jpeg.size());
  const TJPEGImage small = image.StretchedTo(160, 120);
  EXPECT_EQ(small.Width(), 160);
  EXPECT_EQ(small.Height(), 120);
  EXPECT_EQ(small.CompressionQuality(), 75);
  EXPECT_EQ(image.Width(), 320);  // the source is untouched

  // What it saves is a real JPEG of that size, and its colours survive the resampling.
  const std::vector<std::uint8_t> bytes = Saved(small);
  TJPEGImage reread;
  reread.LoadFromBytes(bytes.data(), bytes.size());
  std::vector<std::uint8_t> rgb;
  int width = 0, height = 0;
  ASSERT_TRUE(reread.DecodeRGB(rgb, width, height));
  EXPECT_EQ(width, 160);
  EXPECT_EQ(height, 120);
  const std::uint8_t* corner = &rgb[(119u * 160u + 159u) * 3u];  // bottom right: red and green high
  EXPECT_GT(corner[0], 200);
  EXPECT_GT(corner[1], 200);

  EXPECT_TRUE(TJPEGImage().StretchedTo(160, 120).Empty());
  EXPECT_TRUE(image.StretchedTo(0, 120).Empty());
}

TEST(AJPEGImage, EncodesSmallerAtALowerQuality) {
  const std::vector<std::uint8_t> jpeg = MakeJPEG(128, 96, 95);
  TJPEGImage image;
  image.LoadFromBytes(jpeg.data(), jpeg.size());
  const std::vector<std::uint8_t> high = image.Encoded(90), low = image.Encoded(20);
  EXPECT_LT(low.size(), high.size());
  EXPECT_EQ(image.Bytes(), jpeg);

  // An image built from pixels encodes again when its quality changes.
  TJPEGImage built;
  const std::vector<std::uint8_t> rgb = Picture(128, 96);
  built.AssignRGB(rgb.data(), 128, 96);
  const std::size_t atNinety = built.Bytes().size();
  built.SetCompressionQuality(20);
  EXPECT_LT(built.Bytes().size(), atNinety);
  built.SetCompressionQuality(500);
  EXPECT_EQ(built.CompressionQuality(), 100);
}

TEST(AJPEGImage, FiresOnChangeForEveryChangeAndNotForACopy) {
  const std::vector<std::uint8_t> jpeg = MakeJPEG(320, 240);
  TJPEGImage image;
  int changes = 0;
  image.SetOnChange([&] { ++changes; });
  image.LoadFromBytes(jpeg.data(), jpeg.size());
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(image.Modified());
  image.SetModified(false);

  const TJPEGImage copy(image);  // a copy has its own (empty) handler
  EXPECT_FALSE(copy.OnChange());
  image.ResizeTo(160, 120);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(image.Width(), 160);
  EXPECT_TRUE(image.Modified());
  image.Assign(copy);
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(image.Width(), 320);
  EXPECT_EQ(image.Bytes(), jpeg);
  image.Clear();
  EXPECT_EQ(changes, 4);
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(image.Width(), 0);
}

}  // namespace

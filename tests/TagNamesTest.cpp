// The standard tag names per directory.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "zorp/exif/TagNames.h"

using namespace Zorp::Exif;

namespace {

struct TNameRow {
  TExifSectionKind Kind;
  TExifTagID ID;
  const char* Expected;  // nullptr: no name
};

std::ostream& operator<<(std::ostream& out, const TNameRow& row) {
  return out << "kind " << int(row.Kind) << " id 0x" << std::hex << row.ID;
}

class AStandardTagName : public ::testing::TestWithParam<TNameRow> {};

TEST_P(AStandardTagName, IsLookedUpInTheTableOfTheDirectory) {
  const TNameRow& row = GetParam();
  const char* name = StandardTagName(row.Kind, row.ID);
  if (row.Expected == nullptr)
    EXPECT_EQ(name, nullptr) << name;
  else
    EXPECT_STREQ(name, row.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AStandardTagName,
    ::testing::Values(
        // IFD0, first and last entries, and the Windows tags
        TNameRow{skPrimary, 0x0100, "ImageWidth"}, TNameRow{skPrimary, 0x010F, "Make"},
        TNameRow{skPrimary, 0x8769, "ExifIFDPointer"}, TNameRow{skPrimary, 0x8825, "GPSInfoIFDPointer"},
        TNameRow{skPrimary, 0x4746, "Rating"}, TNameRow{skPrimary, 0x9C9F, "XPSubject"},
        TNameRow{skPrimary, 0xEA1C, "Padding"}, TNameRow{skPrimary, 0x00FF, nullptr},
        TNameRow{skPrimary, 0x0200, nullptr}, TNameRow{skPrimary, 0xFFFF, nullptr},
        // An Exif number asked in IFD0
        TNameRow{skPrimary, 0x829A, nullptr},
        // IFD1 shares the IFD0 table
        TNameRow{skThumbnail, 0x0201, "JPEGInterchangeFormat"},
        TNameRow{skThumbnail, 0x0202, "JPEGInterchangeFormatLength"}, TNameRow{skThumbnail, 0x0103, "Compression"},
        TNameRow{skThumbnail, 0x829A, nullptr},
        // The Exif directory, with the Exif 2.32 spellings
        TNameRow{skExif, 0x829A, "ExposureTime"}, TNameRow{skExif, 0x8827, "PhotographicSensitivity"},
        TNameRow{skExif, 0x8834, "ISOSpeedLatitudeyyy"}, TNameRow{skExif, 0x9011, "OffsetTimeOriginal"},
        TNameRow{skExif, 0x927C, "MakerNote"}, TNameRow{skExif, 0x9290, "SubSecTime"},
        TNameRow{skExif, 0xA000, "FlashpixVersion"}, TNameRow{skExif, 0xA005, "InteroperabilityIFDPointer"},
        TNameRow{skExif, 0xA434, "LensModel"}, TNameRow{skExif, 0xA462, "SourceExposureTimesOfCompositeImage"},
        TNameRow{skExif, 0xA500, "Gamma"}, TNameRow{skExif, 0xEA1D, "OffsetSchema"},
        TNameRow{skExif, 0xA436, nullptr}, TNameRow{skExif, 0x010F, nullptr}, TNameRow{skExif, 0x0000, nullptr},
        TNameRow{skExif, 0xFFFF, nullptr},
        // GPS numbers start again at 0; an Exif number means nothing there
        TNameRow{skGps, 0x0000, "GPSVersionID"}, TNameRow{skGps, 0x0001, "GPSLatitudeRef"},
        TNameRow{skGps, 0x001F, "GPSHPositioningError"}, TNameRow{skGps, 0x0020, nullptr},
        TNameRow{skGps, 0x829A, nullptr},
        // Interoperability: 0x0001 is the index here, not GPSLatitudeRef
        TNameRow{skInterop, 0x0001, "InteroperabilityIndex"}, TNameRow{skInterop, 0x0002, "InteroperabilityVersion"},
        TNameRow{skInterop, 0x1002, "RelatedImageLength"}, TNameRow{skInterop, 0x0000, nullptr},
        TNameRow{skInterop, 0x0003, nullptr},
        // MakerNote tags belong to their maker; a section without a slot has no names
        TNameRow{skMakerNote, 0x0001, nullptr}, TNameRow{skMakerNote, 0x010F, nullptr},
        TNameRow{skNone, 0x010F, nullptr}));

struct TDirectoryRow {
  TExifSectionKind Kind;
  std::size_t Count;  // names in the directory
};

class AStandardNameTable : public ::testing::TestWithParam<TDirectoryRow> {};

// Walking every number finds each entry once (a table out of order would hide some) with a name of its own.
TEST_P(AStandardNameTable, FindsEveryEntryUnderAnUnrepeatedName) {
  std::set<std::string> names;
  std::size_t found = 0;
  for (std::uint32_t id = 0; id <= 0xFFFF; ++id) {
    if (const char* name = StandardTagName(GetParam().Kind, static_cast<TExifTagID>(id))) {
      ++found;
      EXPECT_TRUE(names.insert(name).second) << name;
      EXPECT_NE(std::string(name), "");
    }
  }
  EXPECT_EQ(found, GetParam().Count);
}

INSTANTIATE_TEST_SUITE_P(Directories, AStandardNameTable,
                         ::testing::Values(TDirectoryRow{skPrimary, 40}, TDirectoryRow{skThumbnail, 40},
                                           TDirectoryRow{skExif, 84}, TDirectoryRow{skGps, 32},
                                           TDirectoryRow{skInterop, 5}, TDirectoryRow{skMakerNote, 0}));

TEST(AStandardNameTable, IsTheSameForIFD0AndIFD1) {
  for (std::uint32_t id = 0; id <= 0xFFFF; ++id) {
    const auto tag = static_cast<TExifTagID>(id);
    ASSERT_EQ(StandardTagName(skPrimary, tag), StandardTagName(skThumbnail, tag)) << std::hex << id;
  }
}

}  // namespace

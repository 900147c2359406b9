// The export file text of a row list and the clipboard text of one row.
#include <gtest/gtest.h>

#include <string>

#include "core/ListRows.h"
#include "core/RowText.h"

using namespace Quorvane::Viewer;

namespace {

const std::string Bom = "\xEF\xBB\xBF";

TListRow Heading(const std::string& caption) { return {caption, {}}; }
TListRow Value(const std::string& label, const std::string& value, const std::string& kind = "") {
  TListRows rows;
  AddItem(rows, label, false, "", kind, value);
  return rows.front();
}

struct TExportCase {
  const char* Name;
  TListRows Rows;
  std::string Expected;
};

class ExportTextTest : public testing::TestWithParam<TExportCase> {};

TEST_P(ExportTextTest, LaysOutTheFile) { EXPECT_EQ(ExportText(GetParam().Rows), GetParam().Expected); }

INSTANTIATE_TEST_SUITE_P(
    RowText, ExportTextTest,
    testing::Values(
        TExportCase{"Empty", {}, Bom},
        TExportCase{"NoMakerNote", {Heading("No MakerNote found")}, Bom + "No MakerNote found\r\n------------------\r\n"},
        TExportCase{"StandardBeginning",
                    {Heading("General"), Value("Byte order", "Intel (small endian)"), Heading("Main IFD"),
                     Value("Loaded cleanly", "Yes"), Value("Camera make", "Canon", "string")},
                    Bom + "General\r\n-------\r\nByte order:Intel (small endian)\r\n\r\nMain IFD\r\n--------\r\n"
                          "Loaded cleanly:Yes\r\nCamera make:Canon\r\n"},
        TExportCase{"ValueFirstThenHeading", {Value("Author", ""), Heading("  GPS sub-IFD ")},
                    Bom + "Author:\r\n\r\nGPS sub-IFD\r\n-----------\r\n"},
        TExportCase{"HyphensCountCharacters", {Heading("Größe")}, Bom + "Größe\r\n-----\r\n"},
        TExportCase{"LineBreaksInAValueMarked", {Value("Comments", " a\r\nb ")}, Bom + "Comments: a\\r\\nb \r\n"},
        TExportCase{"ForgedRowStaysInItsValue", {Value("Image description", "x\nCamera make:Forged\r")},
                    Bom + "Image description:x\\nCamera make:Forged\\r\r\n"},
        TExportCase{"LineBreaksInACaptionMarked", {Heading("A\nB"), Value("C\rD", "")},
                    Bom + "A\\nB\r\n----\r\nC\\rD:\r\n"}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TCopyCase {
  const char* Name;
  TListRow Row;
  std::string Expected;
};

class CopyTextTest : public testing::TestWithParam<TCopyCase> {};

TEST_P(CopyTextTest, GivesTheClipboardText) { EXPECT_EQ(CopyText(GetParam().Row), GetParam().Expected); }

INSTANTIATE_TEST_SUITE_P(
    RowText, CopyTextTest,
    testing::Values(TCopyCase{"Heading", Heading("GPS sub-IFD"), "GPS sub-IFD"},
                    TCopyCase{"ValueRow", Value("Camera make", "Canon", "string"), "Camera make:\tCanon"},
                    TCopyCase{"EmptyValue", Value("Author", ""), "Author:\t"},
                    TCopyCase{"UndescribedMakerNoteTag", Value("Unknown ($0010)", "42"), "42"},
                    TCopyCase{"UnknownOnlyAtTheStart", Value("Lens Unknown", "x"), "Lens Unknown:\tx"}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace

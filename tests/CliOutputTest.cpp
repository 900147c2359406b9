// The command-line companion's output plumbing: the streaming JSON writer against the JSON
// library's own dump, and the worker pool's ordering, failures and bound on waiting outputs.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "FileWorkers.h"
#include "JsonWriter.h"

namespace {

using Quorvane::Cli::AppendHexDigits;
using Quorvane::Cli::AppendJsonString;
using Quorvane::Cli::EscapeAppendedText;
using Quorvane::Cli::TJsonObjectPieces;
using Quorvane::Cli::RenderFilesInOrder;
using Quorvane::Cli::TFileOutput;
using Quorvane::Cli::TJsonWriter;
using Json = nlohmann::ordered_json;

std::string LibraryDump(const Json& value) { return value.dump(2, ' ', false, Json::error_handler_t::replace); }

class AJsonString : public testing::TestWithParam<std::string> {};

TEST_P(AJsonString, IsEscapedAsTheJsonLibraryEscapesIt) {
  std::string written;
  AppendJsonString(written, GetParam());
  EXPECT_EQ(written, Json(GetParam()).dump(-1, ' ', false, Json::error_handler_t::replace));
}

INSTANTIATE_TEST_SUITE_P(Texts, AJsonString,
                         testing::Values("", "plain ASCII 0123", "quote \" and backslash \\", "\b\f\n\r\t",
                                         std::string("nul \0 and \x01\x1f and \x7f", 17), "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xb7",
                                         "bad \xff byte", "cut \xe2\x82", "overlong \xc0\xaf", "surrogate \xed\xa0\x80 end",
                                         "\xf4\x90\x80\x80 beyond", "tail \xc3"));

// Plain runs are skipped eight bytes at a time: a byte that needs escaping or a UTF-8 check is
// found at every position of a word and across word ends.
TEST(AJsonStringInALongRun, EscapesEachByteThatNeedsItWhereverItLies) {
  const std::string needing[] = {"\"", "\\", "\n", std::string(1, '\0'), "\x1f", "\x7f", "\x20", "\xc3\xa9", "\xff", "\xe2\x82"};
  for (const std::string& escaped : needing) {
    for (std::size_t position = 0; position <= 24; ++position) {
      std::string text(25, 'A');
      text.insert(position, escaped);
      std::string written;
      AppendJsonString(written, text);
      EXPECT_EQ(written, Json(text).dump(-1, ' ', false, Json::error_handler_t::replace)) << "at " << position;
      // The same text appended by a producer straight into a writer's output.
      std::string produced;
      TJsonWriter json(produced);
      json.StringAppended([&text](std::string& out) { out += text; });
      EXPECT_EQ(produced, written) << "at " << position;
    }
  }
}

// A text known to need no escape is written as the scanned form would write it, in arrays and objects.
TEST(AJsonWriter, WritesAPlainAppendedTextAsAScannedOne) {
  const std::string texts[] = {"", "0A1B", "1,2,3", "-1/3,72", std::string(300, 'F')};
  for (const std::string& text : texts) {
    std::string plain, scanned;
    for (std::string* written : {&plain, &scanned}) {
      TJsonWriter json(*written, 1);
      json.BeginArray();
      json.BeginObject();
      json.Key("text");
      const auto produce = [&text](std::string& out) { out += text; };
      if (written == &plain) json.PlainStringAppended(produce);
      else json.StringAppended(produce);
      json.EndObject();
      json.EndArray();
    }
    EXPECT_EQ(plain, scanned);
  }
}

TEST(AJsonWriter, LaysOutNestedAndEmptyContainersAsTheIndentedDump) {
  std::string written;
  TJsonWriter json(written);
  json.BeginObject();
  json.Key("name");
  json.String("x");
  json.Key("empty object");
  json.BeginObject();
  json.EndObject();
  json.Key("empty array");
  json.StringArray({});
  json.Key("list");
  json.BeginArray();
  json.Number(std::int64_t{-7});
  json.Number(std::uint64_t{18446744073709551615u});
  json.Bool(true);
  json.Null();
  json.BeginObject();
  json.Key("inner");
  json.StringArray({"a", "b"});
  json.EndObject();
  json.EndArray();
  json.EndObject();
  const Json expected = {{"name", "x"},
                         {"empty object", Json::object()},
                         {"empty array", Json::array()},
                         {"list", {-7, 18446744073709551615u, true, nullptr, {{"inner", {"a", "b"}}}}}};
  EXPECT_EQ(written, LibraryDump(expected));
}

// A text appended after an opening quote is escaped in place as a whole JSON string would be:
// every control character, the quote, the backslash, DEL, valid and invalid UTF-8.
class AnAppendedText : public testing::TestWithParam<std::string> {};

TEST_P(AnAppendedText, IsEscapedAsAWholeStringAndLeftOpen) {
  std::string out = "[";
  const std::size_t start = out.size();
  out += '"';
  out += GetParam();
  EscapeAppendedText(out, start);
  std::string expected = "[" + Json(GetParam()).dump(-1, ' ', false, Json::error_handler_t::replace);
  expected.pop_back();
  EXPECT_EQ(out, expected);
}

std::vector<std::string> AppendedTexts() {
  std::vector<std::string> texts = {"", "Make", "quote \" in", "back\\slash", "\x7f", "caf\xc3\xa9", "bad \xff byte",
                                    "cut \xe2\x82", std::string(40, 'F') + "\n"};
  for (int c = 0; c < 0x20; ++c) texts.push_back("ctl " + std::string(1, static_cast<char>(c)) + " end");
  return texts;
}

INSTANTIATE_TEST_SUITE_P(Texts, AnAppendedText, testing::ValuesIn(AppendedTexts()));

// Hex digits are formed sixteen bytes at a time: every byte value, at every place in a block and
// in the bytes after the last whole block.
TEST(HexDigits, AreTwoUpperCaseDigitsForEveryByteAtEveryPlace) {
  std::vector<std::uint8_t> bytes(256 + 31);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  for (std::size_t offset : {0u, 1u, 15u}) {
    for (std::size_t length = 0; offset + length <= bytes.size(); length += length < 40 ? 1 : 37) {
      std::string expected = "x";
      for (std::size_t i = 0; i < length; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", bytes[offset + i]);
        expected += pair;
      }
      std::string out = "x";
      AppendHexDigits(out, std::span(bytes).subspan(offset, length));
      EXPECT_EQ(out, expected) << offset << " " << length;
    }
  }
}

// An object written from its pieces is the object the writer gives member by member, as a first
// or a later element, with a member left out, at levels up to and past the formed indents.
class AnObjectFromPieces : public testing::TestWithParam<std::size_t> {};

TEST_P(AnObjectFromPieces, IsTheObjectTheWriterGives) {
  const std::size_t baseDepth = GetParam();
  std::string byMembers, byPieces;
  {
    TJsonWriter json(byMembers, baseDepth);
    json.BeginArray();
    for (const bool named : {true, false}) {
      json.BeginObject();
      json.Key("id");
      json.Number(std::int64_t{std::numeric_limits<std::int64_t>::min()});
      if (named) {
        json.Key("na\"me");
        json.String("x");
      }
      json.Key("n");
      json.Number(std::uint64_t{std::numeric_limits<std::uint64_t>::max()});
      json.EndObject();
    }
    json.EndArray();
  }
  {
    TJsonWriter json(byPieces, baseDepth);
    json.BeginArray();
    const TJsonObjectPieces pieces({"id", "na\"me", "n"}, json.Depth());
    for (const bool named : {true, false}) {
      std::string& out = json.Output();
      out += pieces.ElementOpening(json.BeginRawElement());
      out += "-9223372036854775808";
      if (named) {
        out += pieces.Before(1);
        out += "\"x\"";
      }
      out += pieces.Before(2);
      out += "18446744073709551615";
      out += pieces.Closing();
    }
    json.EndArray();
  }
  EXPECT_EQ(byPieces, byMembers);
}

INSTANTIATE_TEST_SUITE_P(Depths, AnObjectFromPieces, testing::Values(0u, 1u, 30u, 31u, 40u));

// Numbers at their limits and containers nested past the formed indents read as the library's dump.
TEST(AJsonWriter, WritesLimitNumbersAndDeepNestingAsTheIndentedDump) {
  std::string written;
  TJsonWriter json(written);
  Json expected = Json::array();
  Json* inner = &expected;
  for (int level = 0; level < 40; ++level) {
    json.BeginArray();
    if (level == 39) break;
    json.Number(std::numeric_limits<std::int64_t>::min());
    json.Number(std::numeric_limits<std::int64_t>::max());
    json.Number(std::uint64_t{0});
    inner->push_back(std::numeric_limits<std::int64_t>::min());
    inner->push_back(std::numeric_limits<std::int64_t>::max());
    inner->push_back(std::uint64_t{0});
    inner->push_back(Json::array());
    inner = &inner->back();
  }
  json.Number(std::numeric_limits<std::uint64_t>::max());
  inner->push_back(std::numeric_limits<std::uint64_t>::max());
  for (int level = 0; level < 40; ++level) json.EndArray();
  EXPECT_EQ(written, LibraryDump(expected));
}

struct TPoolCase {
  std::size_t Files;
  unsigned Workers;
};

class AWorkerPool : public testing::TestWithParam<TPoolCase> {};

// Outputs come out in argument order whatever order the workers finish in, failures set the status
// and keep the others, and no worker runs further ahead than the pool's window.
TEST_P(AWorkerPool, WritesInArgumentOrderAndKeepsFewOutputsWaiting) {
  const auto [files, workers] = GetParam();
  std::atomic<int> running{0}, mostRunning{0};
  std::ostringstream out, err;
  const int status = RenderFilesInOrder(
      files,
      [&](std::size_t i) {
        mostRunning = std::max(mostRunning.load(), ++running);
        // Early files take longest, so later ones finish first.
        std::this_thread::sleep_for(std::chrono::microseconds(i < 4 ? 3000 : 50 * (i % 3)));
        --running;
        TFileOutput output{std::to_string(i) + "\n", i % 5 == 3 ? "failed " + std::to_string(i) + "\n" : "",
                           i % 5 == 3};
        return output;
      },
      workers, out, err);
  std::string expected, expectedErr;
  for (std::size_t i = 0; i < files; ++i) {
    expected += std::to_string(i) + "\n";
    if (i % 5 == 3) expectedErr += "failed " + std::to_string(i) + "\n";
  }
  EXPECT_EQ(out.str(), expected);
  EXPECT_EQ(err.str(), expectedErr);
  EXPECT_EQ(status, files > 3 ? 1 : 0);
  EXPECT_LE(mostRunning.load(), static_cast<int>(std::max(1u, workers)));
}

INSTANTIATE_TEST_SUITE_P(Sizes, AWorkerPool,
                         testing::Values(TPoolCase{0, 4}, TPoolCase{1, 4}, TPoolCase{3, 1}, TPoolCase{50, 2},
                                         TPoolCase{200, 4}, TPoolCase{200, 16}));

TEST(AWorkerPool, HoldsBackWorkersWhileTheFirstOutputIsNotReady) {
  // While file 0 is slow, the others may only run a window of four outputs per worker ahead.
  std::atomic<std::size_t> highestStarted{0};
  std::atomic<std::size_t> highestWhileFirstRan{0};
  std::ostringstream out, err;
  RenderFilesInOrder(
      100,
      [&](std::size_t i) {
        highestStarted = std::max(highestStarted.load(), i);
        if (i == 0) {
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
          highestWhileFirstRan = highestStarted.load();
        }
        return TFileOutput{"x", "", false};
      },
      2, out, err);
  EXPECT_LT(highestWhileFirstRan.load(), 8u);
  EXPECT_EQ(out.str(), std::string(100, 'x'));
}

}  // namespace

namespace {

class AFailingFile : public testing::TestWithParam<unsigned> {};

// Work that raises is that file's failure, on one worker as on several; the other files are written.
TEST_P(AFailingFile, IsReportedAndTheOthersAreWritten) {
  std::ostringstream out, err;
  const int status = RenderFilesInOrder(
      4,
      [](std::size_t i) {
        if (i == 2) throw std::runtime_error("unreadable");
        return TFileOutput{std::to_string(i), "", false};
      },
      GetParam(), out, err);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out.str(), "013");
  EXPECT_EQ(err.str(), "quorvane-cli: unreadable\n");
}

INSTANTIATE_TEST_SUITE_P(Workers, AFailingFile, testing::Values(1u, 3u));

}  // namespace

// ---- the output channel ----

#include <cstdio>
#include <system_error>

#include "OutputChannel.h"

namespace {

using Quorvane::Cli::EscapeForTerminal;
using Quorvane::Cli::TOutputChannel;

struct TEscapeCase {
  const char* Name;
  std::string Text;
  std::string Shown;  // on a terminal
  friend void PrintTo(const TEscapeCase& c, std::ostream* os) { *os << c.Name; }
};

class ATerminalText : public testing::TestWithParam<TEscapeCase> {};

TEST_P(ATerminalText, ShowsWhatATerminalWouldActOnAsEscapes) {
  EXPECT_EQ(EscapeForTerminal(GetParam().Text), GetParam().Shown);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ATerminalText,
    testing::Values(TEscapeCase{"Plain", "Canon EOS caf\xC3\xA9 \xF0\x9F\x93\xB7\n", "Canon EOS caf\xC3\xA9 \xF0\x9F\x93\xB7\n"},
                    TEscapeCase{"EscapeSequence", "\x1b]0;owned\x07\x1b[2J", "\\x1b]0;owned\\x07\\x1b[2J"},
                    TEscapeCase{"TabCrNulDel", std::string("a\tb\rc\0d\x7f", 8), "a\\x09b\\x0dc\\x00d\\x7f"},
                    TEscapeCase{"C1Controls", "\xC2\x80x\xC2\x9B" "1m\xC2\x9F\xC2\xA0", "\\x80x\\x9b1m\\x9f\xC2\xA0"},
                    TEscapeCase{"RightToLeftOverride", "photo\xE2\x80\xAEgpj.exe", "photo\\u202egpj.exe"},
                    TEscapeCase{"EveryBidiControl",
                                "\xD8\x9C\xE2\x80\x8E\xE2\x80\x8F\xE2\x80\xAA\xE2\x80\xAB\xE2\x80\xAC\xE2\x80\xAD"
                                "\xE2\x81\xA6\xE2\x81\xA7\xE2\x81\xA8\xE2\x81\xA9",
                                "\\u061c\\u200e\\u200f\\u202a\\u202b\\u202c\\u202d\\u2066\\u2067\\u2068\\u2069"},
                    TEscapeCase{"NeighboursOfBidiKept", "\xE2\x80\x8D\xE2\x80\xAF\xE2\x81\xAA", "\xE2\x80\x8D\xE2\x80\xAF\xE2\x81\xAA"},
                    TEscapeCase{"BytesThatAreNotUtf8", "a\xFF\xC3(\xE2\x80", "a\\xff\\xc3(\\xe2\\x80"}),
    [](const auto& info) { return std::string(info.param.Name); });

// The bytes a channel over a temporary file wrote, the text put in piece by piece.
std::string ThroughChannel(const std::string& text, std::size_t piece, bool terminal) {
  std::FILE* file = std::tmpfile();
  {
    TOutputChannel channel(::fileno(file), terminal);
    std::ostream out(&channel);
    for (std::size_t pos = 0; pos < text.size(); pos += piece) out << text.substr(pos, piece) << std::flush;
    EXPECT_TRUE(channel.Close());
    EXPECT_TRUE(out.good());
  }
  std::rewind(file);
  std::string written;
  for (int c; (c = std::fgetc(file)) != EOF;) written += static_cast<char>(c);
  std::fclose(file);
  return written;
}

TEST(AnOutputChannel, EscapesASequenceSplitBetweenWritesWholeAndKeepsBytesOffATerminal) {
  const std::string text = "x\xE2\x80\xAEy\xC2\x9B\xF0\x9F\x93\xB7\x1b[0m\n" + std::string(70000, 'z') + "\xE2\x80";
  const std::string shown = EscapeForTerminal(text);
  for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{3}, text.size()}) {
    SCOPED_TRACE(piece);
    EXPECT_EQ(ThroughChannel(text, piece, true), shown);
    EXPECT_EQ(ThroughChannel(text, piece, false), text);
  }
}

// Blocks of 64 KiB and more go out without being held, the rest is held: mixed, they keep their order.
TEST(AnOutputChannel, KeepsTheOrderOfHeldTextAndOfBlocksWrittenAtOnce) {
  const std::vector<std::vector<std::size_t>> pieceLists = {
      {70000}, {5, 70000, 3}, {70000, 70000}, {65536, 1, 65535, 65536}, {100, 200000, 100, 100}};
  for (const auto& pieces : pieceLists) {
    std::FILE* file = std::tmpfile();
    std::string expected;
    {
      TOutputChannel channel(::fileno(file), false);
      std::ostream out(&channel);
      for (std::size_t i = 0; i < pieces.size(); ++i) {
        const std::string piece(pieces[i], static_cast<char>('a' + i));
        out << piece;
        expected += piece;
      }
      EXPECT_TRUE(channel.Close());
    }
    std::rewind(file);
    std::string written;
    for (int c; (c = std::fgetc(file)) != EOF;) written += static_cast<char>(c);
    std::fclose(file);
    EXPECT_TRUE(written == expected) << pieces.size() << " pieces, " << written.size() << " bytes written";
  }
}

// A process limit lets only so many threads start; the files are still all rendered, in order.
class AWorkerPoolShortOfThreads : public testing::TestWithParam<unsigned> {};

TEST_P(AWorkerPoolShortOfThreads, FallsBackToTheThreadsItGets) {
  const unsigned allowed = GetParam();
  unsigned started = 0;
  const Quorvane::Cli::TStartThread startThread = [&](std::function<void()> work) {
    if (started == allowed) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    ++started;
    return std::jthread(std::move(work));
  };
  std::ostringstream out, err;
  const int status = RenderFilesInOrder(
      40, [](std::size_t i) { return TFileOutput{std::to_string(i) + ",", i == 7 ? "seven\n" : "", i == 7}; }, 8,
      out, err, startThread);
  std::string expected;
  for (int i = 0; i < 40; ++i) expected += std::to_string(i) + ",";
  EXPECT_EQ(out.str(), expected);
  EXPECT_EQ(err.str(), "seven\n");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(started, allowed);
}

INSTANTIATE_TEST_SUITE_P(Allowed, AWorkerPoolShortOfThreads, testing::Values(0u, 1u, 3u));

TEST(AWorkerPool, RendersNoMoreOnceTheOutputHasFailed) {
  for (const unsigned workers : {1u, 4u}) {
    std::ostringstream out, err;
    out.setstate(std::ios::badbit);  // as after a write to a full disk
    std::atomic<int> rendered{0};
    RenderFilesInOrder(
        1000,
        [&](std::size_t) {
          ++rendered;
          return TFileOutput{"x", "", false};
        },
        workers, out, err);
    EXPECT_LE(rendered.load(), static_cast<int>(5 * workers)) << workers;
  }
}

}  // namespace

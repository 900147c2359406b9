// The command-line companion's output plumbing: the streaming JSON writer against the JSON
// library's own dump, and the worker pool's ordering, failures and bound on waiting outputs.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "FileWorkers.h"
#include "JsonWriter.h"

namespace {

using Quorvane::Cli::AppendJsonString;
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
  EXPECT_EQ(err.str(), "unreadable\n");
}

INSTANTIATE_TEST_SUITE_P(Workers, AFailingFile, testing::Values(1u, 3u));

}  // namespace

#pragma once
// Assertions and fixture helpers shared by the test suites.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "zorp/base/Exceptions.h"

// Expects the statement to raise ExceptionType with exactly the message text.
#define EXPECT_THROW_MSG(statement, ExceptionType, text)         \
  EXPECT_THROW(                                                  \
      try { statement; } catch (const ExceptionType& e) {        \
        EXPECT_EQ(std::string(e.what()), std::string(text));     \
        throw;                                                   \
      },                                                         \
      ExceptionType)

namespace Zorp::Testing {

// The message of the EConvertError that the call raises, or "(no error)".
template <typename F>
std::string ConvertErrorOf(F call) {
  try {
    call();
  } catch (const Zorp::Base::EConvertError& error) {
    return error.Message();
  }
  return "(no error)";
}

// An empty folder of the running test, <temp>/<prefix>-<pid>-<test name>, emptied if it was left over.
inline std::filesystem::path FreshTestFolder(const std::string& prefix) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      (prefix + "-" + std::to_string(::getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

}  // namespace Zorp::Testing

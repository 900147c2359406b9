#pragma once
// Assertions shared by the test suites.

#include <gtest/gtest.h>

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

}  // namespace Zorp::Testing

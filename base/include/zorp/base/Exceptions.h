#pragma once
// The platform's exception tree: every error the library raises derives from Exception.

#include <exception>
#include <string>
#include <utility>

namespace Zorp::Base {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }
  // The class name shown in messages and error reports.
  virtual const char* ClassName() const noexcept { return "Exception"; }

 private:
  std::string FMessage;
};

// Declares an exception class Name deriving from Base (which may be a qualified name), inheriting
// its constructors and reporting its own class name.
#define ZORP_DECLARE_EXCEPTION(Name, Base)                            \
  class Name : public Base {                                          \
    using TInherited = Base;                                          \
                                                                      \
   public:                                                            \
    using TInherited::TInherited;                                     \
    const char* ClassName() const noexcept override { return #Name; } \
  }

// Stream errors.
ZORP_DECLARE_EXCEPTION(EStreamError, Exception);
ZORP_DECLARE_EXCEPTION(EReadError, EStreamError);    // "Stream read error"
ZORP_DECLARE_EXCEPTION(EWriteError, EStreamError);   // "Stream write error"
ZORP_DECLARE_EXCEPTION(EFileStreamError, EStreamError);
ZORP_DECLARE_EXCEPTION(EFOpenError, EFileStreamError);    // a file could not be opened
ZORP_DECLARE_EXCEPTION(EFCreateError, EFileStreamError);  // a file could not be created
// A save refused because the file changed after it was read; nothing was written.
ZORP_DECLARE_EXCEPTION(EFileChanged, EFileStreamError);

// Value and list errors.
ZORP_DECLARE_EXCEPTION(ERangeError, Exception);    // "Range check error"
ZORP_DECLARE_EXCEPTION(EConvertError, Exception);  // "''%s'' is not a valid integer value" and kin
ZORP_DECLARE_EXCEPTION(EListError, Exception);     // "List index out of bounds (%d)"

// Operation errors.
ZORP_DECLARE_EXCEPTION(EInvalidOperation, Exception);
ZORP_DECLARE_EXCEPTION(EInvalidGraphic, Exception);
ZORP_DECLARE_EXCEPTION(EAssertionFailed, Exception);  // bad input never aborts; it raises this

// Raises E with the message when the condition does not hold.
template <typename E = EAssertionFailed>
inline void Enforce(bool condition, const char* message) {
  if (!condition) throw E(message);
}

}  // namespace Zorp::Base

#include "errors/exceptions.h"

#include "errors/code_message.h"
#include "errors/codes.h"

EAPDException::EAPDException(int code) : platform::Exception(CodeMessage(code)), ErrorCode(code) {}

EAPDException::EAPDException(const std::string& text) : platform::Exception(text), ErrorCode(0) {}

EApdSocketException::EApdSocketException(int code)
    : platform::Exception(CodeMessage(code)), ErrorCode(code) {}

EApdSocketException::EApdSocketException(int code, TWinsockNotInitialized)
    : platform::Exception(FormatTableText(CodeMessage(ecWsNotInitialized), CodeMessage(code))),
      ErrorCode(code) {}

// Texts of result codes and the conversion of a failed result into an exception.
#pragma once

#include <string>

// The text of code (at most 255 characters): the message-table entry of the absolute value of
// code taken as a signed 16-bit number; when the table has none, the system's text for that
// number with control characters turned into spaces and runs of spaces collapsed; empty when
// neither knows it.
std::string CodeMessage(int code);

// Returns code unchanged when it is 0 or positive, or when the calling component is being
// loaded from its stored description (componentLoading: pass whether your component is in its
// loading state; this layer cannot see the component model). Otherwise raises, chosen by code:
//   a code with its own class (codes.h, exceptions.h)  -> that class, created from the code
//   -2 .. -162 except -8   -> platform::EInOutError, message of the code, ErrorCode = -code
//   -8                     -> platform::EOutOfMemory
//   -6006, -6008, -6009    -> EProtocol
//   any other negative     -> EAPDException("Apro exception"), ErrorCode 0
int RaiseForCode(bool componentLoading, int code);

// Replaces the first %s or %d of pattern with argument, as the table's patterns expect.
std::string FormatTableText(const std::string& pattern, const std::string& argument);

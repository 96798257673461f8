#pragma once

#include <string>

namespace tovelin {

// Error numbers of the socket error table the link box speaks in.
inline constexpr int kHostNotFound = 11001;
inline constexpr int kConnectionRefused = 10061;

// "Socket Error # <number>", CR LF, the table's text; an unknown number gets an empty
// second line.
std::string socketErrorMessage(int number);

// The table's number for an errno value, by meaning; 0 when the table has no match.
int socketErrorNumber(int posixError);

// The message for an errno value: the table's wording, or the errno value itself on an
// empty second line when the table has no match.
std::string socketErrorMessageForErrno(int posixError);

} // namespace tovelin

#pragma once

#include <string>
#include <string_view>

namespace tovelin {

// Turns the filename parameter a client sent into the name a download offers: valid UTF-8,
// the last path component only (either slash), no control or direction-override characters,
// no surrounding blanks, at most 255 bytes. The window program writes '"', CR and LF as
// %22, %0D and %0A inside the quoted parameter; those three are decoded, nothing else is.
// Bytes that are not UTF-8 are read as Windows-1251, the code page of a Russian Windows
// system. An empty result becomes "file".
std::string cleanUploadFileName(std::string_view sent);

} // namespace tovelin

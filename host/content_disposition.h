#pragma once

#include <string>
#include <string_view>

namespace tovelin {

// The Content-Disposition value that offers a download under the given UTF-8 name:
// attachment with a quoted ASCII filename, plus an RFC 6266 filename* carrying the exact
// name whenever the ASCII one had to differ from it.
std::string attachmentDisposition(std::string_view utf8Name);

} // namespace tovelin

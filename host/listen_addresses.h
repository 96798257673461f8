#pragma once

#include <string>
#include <vector>

namespace tovelin {

// The numeric addresses a listen host stands for, each once, in the resolver's order:
// "localhost" gives 127.0.0.1 and ::1 where the system has both. A numeric address gives
// itself. Throws Failure when the name does not resolve.
std::vector<std::string> resolveListenAddresses(const std::string& host);

} // namespace tovelin

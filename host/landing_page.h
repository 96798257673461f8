#pragma once

#include <string_view>

namespace tovelin {

// The page GET / serves: what Tovelin is and what this host does, in Russian, UTF-8 HTML.
// The About window's link points at the host's root, so this is what a user lands on.
std::string_view landingPage();

} // namespace tovelin

#pragma once

#include <stdexcept>

namespace tovelin {

// A local failure whose message is shown to the user exactly as it stands.
class Failure : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace tovelin

#pragma once

#include "tests/support/temp_dir.h"
#include "upload/form_data_body.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace tovelin::test {

// The moment every test body is created at, so two bodies share a boundary.
inline const std::chrono::system_clock::time_point kBodyTime =
    std::chrono::system_clock::time_point(std::chrono::seconds(1245076205));

// Every byte a body of this file yields.
std::string bodyBytes(const std::string& path);

} // namespace tovelin::test

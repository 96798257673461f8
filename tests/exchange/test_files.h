#pragma once

#include "upload/form_data_body.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

namespace tovelin::test {

// A folder of its own under the system's temporary folder, removed with everything in it.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Writes the bytes to a file in the folder and returns its path.
    std::string file(const std::string& name, const std::string& bytes) const;
    // A file of the given size (zeros, without writing them).
    std::string sizedFile(const std::string& name, std::int64_t size) const;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// The moment every test body is created at, so two bodies share a boundary.
inline const std::chrono::system_clock::time_point kBodyTime =
    std::chrono::system_clock::time_point(std::chrono::seconds(1245076205));

// Every byte a body of this file yields.
std::string bodyBytes(const std::string& path);

} // namespace tovelin::test

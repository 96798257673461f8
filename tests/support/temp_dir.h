#pragma once

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <stdlib.h>
#include <string>
#include <string_view>

namespace tovelin::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir
{
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tovelin-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }

    // Writes a file of the given bytes and returns its full path.
    std::string write(std::string_view name, std::string_view bytes) const
    {
        const auto file = m_path / std::filesystem::path(std::string(name));
        std::ofstream(file, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file.string();
    }

    // A file of the given length (sparse where the file system allows).
    std::string sized(std::string_view name, std::uintmax_t length) const
    {
        const std::string file = write(name, "");
        std::filesystem::resize_file(file, length);
        return file;
    }

private:
    std::filesystem::path m_path;
};

} // namespace tovelin::test

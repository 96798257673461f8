#include "tests/exchange/test_files.h"

#include <fstream>
#include <stdexcept>
#include <stdlib.h>

namespace tovelin::test {

TempFolder::TempFolder()
{
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tovelin-exchange-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        throw std::runtime_error("no temporary folder");
    }
    m_path = pattern;
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string TempFolder::file(const std::string& name, const std::string& bytes) const
{
    const std::filesystem::path path = m_path / name;
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

std::string TempFolder::sizedFile(const std::string& name, std::int64_t size) const
{
    const std::string path = file(name, "");
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
    return path;
}

std::string bodyBytes(const std::string& path)
{
    FormDataBody body(kBodyTime);
    body.addFilePart("file", path, "application/octet-stream");
    body.rewind();
    std::string bytes;
    char buffer[65536];
    while (const std::size_t got = body.read(buffer, sizeof buffer)) {
        bytes.append(buffer, got);
    }
    return bytes;
}

} // namespace tovelin::test

#include "tests/exchange/test_files.h"

namespace tovelin::test {

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

#include "tests/e2e/host_under_test.h"

#include "tests/host/raw_http.h"

#include <fstream>
#include <httplib.h>
#include <random>
#include <stdexcept>
#include <vector>

namespace tovelin::test {

HostUnderTest::HostUnderTest()
    : m_process(std::make_unique<HostProcess>(
          std::vector<std::string>{"--listen", "127.0.0.1:0", "--data", m_data.path().string()}))
{
    if (!m_process->waitUntilListening()) {
        throw std::runtime_error("tovelin-host did not start: " + m_process->output());
    }
    m_port = static_cast<std::uint16_t>(portOf(m_process->urls().front()));
}

std::string HostUnderTest::uploadUrl() const
{
    return linkPrefix() + "upload/";
}

std::string HostUnderTest::linkPrefix() const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + "/";
}

Download fetch(const HostUnderTest& host, const std::string& link,
               const std::filesystem::path& path)
{
    Download download;
    if (link.rfind(host.linkPrefix(), 0) != 0) {
        return download;
    }
    const std::string target = "/" + link.substr(host.linkPrefix().size());

    // The head as sent, byte for byte (the library's client decodes header values).
    const RawReply head = exchange(host.port(), "HEAD " + target + " HTTP/1.0\r\n\r\n");
    download.disposition = head.header("content-disposition");
    download.contentType = head.header("content-type");

    std::ifstream file(path, std::ios::binary);
    bool same = static_cast<bool>(file);
    std::vector<char> expected;
    httplib::Client client("127.0.0.1", host.port());
    client.set_connection_timeout(5);
    client.set_read_timeout(30);
    const auto reply = client.Get(target, [&](const char* data, std::size_t length) {
        download.length += length;
        expected.resize(length);
        if (same && (!file.read(expected.data(), static_cast<std::streamsize>(length)) ||
                     !std::equal(data, data + length, expected.begin()))) {
            same = false;
        }
        return true;
    });
    if (!reply) {
        return download;
    }
    download.status = reply->status;
    // Nothing of the file may be left over.
    download.sameAsFile = same && file.peek() == std::char_traits<char>::eof();
    return download;
}

std::filesystem::path writeRandomFile(const std::filesystem::path& path, std::uint64_t size,
                                      unsigned seed)
{
    std::mt19937 generator(seed);
    std::ofstream out(path, std::ios::binary);
    std::vector<char> block(1 << 16);
    for (std::uint64_t left = size; left > 0;) {
        const std::size_t now =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
        for (std::size_t i = 0; i < now; ++i) {
            block[i] = static_cast<char>(generator() & 0xFF);
        }
        out.write(block.data(), static_cast<std::streamsize>(now));
        left -= now;
    }
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
    return path;
}

} // namespace tovelin::test

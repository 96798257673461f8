#include "host/upload_id.h"

#include "upload/failure.h"

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <sys/random.h>

namespace tovelin {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr std::size_t kRandomBytes = 12;
constexpr std::size_t kIdLength = kRandomBytes / 3 * 4;

void fillRandom(std::uint8_t* out, std::size_t length)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = ::getrandom(out + done, length - done, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw Failure("no random source for upload identifiers");
        }
        done += static_cast<std::size_t>(got);
    }
}

} // namespace

std::string newUploadId()
{
    std::array<std::uint8_t, kRandomBytes> bytes{};
    fillRandom(bytes.data(), bytes.size());
    std::string id;
    id.reserve(kIdLength);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t group =
            (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6) {
            id += kAlphabet[(group >> shift) & 0x3F];
        }
    }
    return id;
}

bool isUploadId(std::string_view text)
{
    if (text.size() != kIdLength) {
        return false;
    }
    for (const char c : text) {
        if (kAlphabet.find(c) == std::string_view::npos) {
            return false;
        }
    }
    return true;
}

} // namespace tovelin

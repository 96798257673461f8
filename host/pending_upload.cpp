#include "host/pending_upload.h"

#include "host/upload_id.h"
#include "upload/failure.h"

#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

namespace tovelin {
namespace {

constexpr int kCreateAttempts = 8;
constexpr std::size_t kWriteBuffer = std::size_t{64} * 1024;

} // namespace

PendingUpload::PendingUpload(const std::filesystem::path& dir)
{
    for (int attempt = 0; attempt < kCreateAttempts && !m_file; ++attempt) {
        m_path = dir / (std::string(kPrefix) + newUploadId());
        // "x": never open a file that is already there.
        m_file.reset(std::fopen(m_path.c_str(), "wbx"));
        if (!m_file && errno != EEXIST) {
            break;
        }
    }
    if (!m_file) {
        const std::string reason = std::generic_category().message(errno);
        m_path.clear();
        throw Failure("cannot create a file in " + dir.string() + ": " + reason);
    }
    std::setvbuf(m_file.get(), nullptr, _IOFBF, kWriteBuffer);
}

PendingUpload::~PendingUpload()
{
    m_file.reset();
    if (!m_path.empty()) {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
    }
}

PendingUpload::PendingUpload(PendingUpload&& other) noexcept
    : m_path(std::exchange(other.m_path, {})), m_file(std::move(other.m_file)),
      m_size(other.m_size), m_failed(other.m_failed)
{
}

bool PendingUpload::write(const char* data, std::size_t length)
{
    if (m_failed || !m_file) {
        return false;
    }
    if (std::fwrite(data, 1, length, m_file.get()) != length) {
        m_failed = true;
        return false;
    }
    m_size += length;
    return true;
}

bool PendingUpload::finish()
{
    if (!m_file) {
        return false;
    }
    const bool flushed = std::fflush(m_file.get()) == 0;
    const bool closed = std::fclose(m_file.release()) == 0;
    return !m_failed && flushed && closed;
}

} // namespace tovelin

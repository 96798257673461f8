#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace tovelin {

// The file an upload streams into while it arrives: a fresh hidden file in the data folder,
// removed when this object goes, whatever happened. Keeping it is the store's business:
// it links the finished file under the upload's identifier first.
class PendingUpload
{
public:
    // Creates the file; throws Failure when the folder takes no new file.
    explicit PendingUpload(const std::filesystem::path& dir);
    ~PendingUpload();
    PendingUpload(PendingUpload&& other) noexcept;
    PendingUpload& operator=(PendingUpload&&) = delete;
    PendingUpload(const PendingUpload&) = delete;
    PendingUpload& operator=(const PendingUpload&) = delete;

    // False once any write has failed (a full disk, say); later writes are refused too.
    bool write(const char* data, std::size_t length);
    // Flushes and closes the file; false when any byte did not reach it.
    bool finish();

    std::uint64_t size() const { return m_size; }
    const std::filesystem::path& path() const { return m_path; }

    // Names of these files start with this, so a restart can sweep away the leftovers
    // of a host that died mid-upload.
    static constexpr const char* kPrefix = ".part-";

private:
    struct Closer
    {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    std::filesystem::path m_path;
    std::unique_ptr<std::FILE, Closer> m_file;
    std::uint64_t m_size = 0;
    bool m_failed = false;
};

} // namespace tovelin

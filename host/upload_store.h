#pragma once

#include "host/pending_upload.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tovelin {

// One finished upload as the store keeps it.
struct StoredUpload
{
    std::string name;           // the cleaned file name, UTF-8
    std::uint64_t size = 0;     // bytes
    std::filesystem::path file; // the stored bytes
};

// The data folder: each upload is a file named by its identifier plus "<id>.meta", a small
// text record of its name and size, so both survive a restart of the host.
class UploadStore
{
public:
    // Creates the folder when missing and sweeps away what an interrupted upload left.
    // Throws Failure when the folder cannot be made or read.
    explicit UploadStore(std::filesystem::path dir);

    const std::filesystem::path& dir() const { return m_dir; }

    PendingUpload begin() const { return PendingUpload(m_dir); }

    // Moves a finished pending upload into place under a fresh identifier and records its
    // name; returns the identifier. Throws Failure when the bytes or the record could not
    // be stored; nothing is kept then.
    std::string commit(PendingUpload& pending, std::string_view name);

    // Nothing for an identifier the store does not hold. Throws Failure when the record and
    // the stored bytes disagree.
    std::optional<StoredUpload> find(std::string_view id) const;

private:
    void sweep();

    std::filesystem::path m_dir;
};

} // namespace tovelin

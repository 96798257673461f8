#include "host/upload_store.h"

#include "host/upload_id.h"
#include "upload/failure.h"

#include <cerrno>
#include <charconv>
#include <fstream>
#include <sstream>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace tovelin {
namespace {

constexpr int kIdAttempts = 8;
constexpr std::string_view kMetaSuffix = ".meta";
constexpr std::string_view kRecordHeader = "tovelin-host upload 1";

std::filesystem::path metaPath(const std::filesystem::path& dir, std::string_view id)
{
    return dir / (std::string(id) + std::string(kMetaSuffix));
}

std::string record(std::string_view name, std::uint64_t size)
{
    // The name holds no line break (it was cleaned), so one line per field is enough.
    return std::string(kRecordHeader) + "\nsize=" + std::to_string(size) +
           "\nname=" + std::string(name) + "\n";
}

std::optional<StoredUpload> parseRecord(const std::string& text)
{
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kRecordHeader) {
        return std::nullopt;
    }
    StoredUpload upload;
    bool haveSize = false;
    bool haveName = false;
    while (std::getline(in, line)) {
        if (line.starts_with("size=")) {
            const char* first = line.data() + 5;
            const char* last = line.data() + line.size();
            const auto [end, error] = std::from_chars(first, last, upload.size);
            haveSize = error == std::errc() && end == last && first != last;
        } else if (line.starts_with("name=")) {
            upload.name = line.substr(5);
            haveName = !upload.name.empty();
        }
    }
    if (!haveSize || !haveName) {
        return std::nullopt;
    }
    return upload;
}

} // namespace

UploadStore::UploadStore(std::filesystem::path dir) : m_dir(std::move(dir))
{
    std::error_code error;
    std::filesystem::create_directories(m_dir, error);
    if (error || !std::filesystem::is_directory(m_dir, error)) {
        throw Failure("cannot use the data folder " + m_dir.string() +
                      (error ? ": " + error.message() : ""));
    }
    sweep();
}

void UploadStore::sweep()
{
    std::error_code error;
    std::filesystem::directory_iterator it(m_dir, error);
    if (error) {
        throw Failure("cannot read the data folder " + m_dir.string() + ": " + error.message());
    }
    for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code ignored;
        // Leftovers of a host that stopped mid-upload: temporary files, and bytes whose
        // record was never written.
        const bool leftover =
            name.starts_with(PendingUpload::kPrefix) ||
            (isUploadId(name) && !std::filesystem::exists(metaPath(m_dir, name), ignored));
        if (leftover) {
            std::filesystem::remove(it->path(), ignored);
        }
        if (error) {
            break;
        }
    }
}

std::string UploadStore::commit(PendingUpload& pending, std::string_view name)
{
    const std::uint64_t size = pending.size();
    if (!pending.finish()) {
        throw Failure("cannot write the upload to " + m_dir.string());
    }
    std::string id;
    for (int attempt = 0;; ++attempt) {
        id = newUploadId();
        // link() never replaces an existing file, so a clash of identifiers cannot
        // overwrite an earlier upload.
        if (::link(pending.path().c_str(), (m_dir / id).c_str()) == 0) {
            break;
        }
        if (errno != EEXIST || attempt + 1 == kIdAttempts) {
            throw Failure("cannot store the upload in " + m_dir.string() + ": " +
                          std::generic_category().message(errno));
        }
    }

    PendingUpload meta(m_dir);
    const std::string text = record(name, size);
    const bool written = meta.write(text.data(), text.size()) && meta.finish();
    std::error_code error;
    if (written) {
        std::filesystem::rename(meta.path(), metaPath(m_dir, id), error);
    }
    if (!written || error) {
        std::error_code ignored;
        std::filesystem::remove(m_dir / id, ignored);
        throw Failure("cannot record the upload in " + m_dir.string());
    }
    return id;
}

std::optional<StoredUpload> UploadStore::find(std::string_view id) const
{
    if (!isUploadId(id)) {
        return std::nullopt;
    }
    std::ifstream in(metaPath(m_dir, id), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::optional<StoredUpload> upload = parseRecord(text.str());
    if (!upload) {
        throw Failure("the record of upload " + std::string(id) + " is damaged");
    }
    upload->file = m_dir / std::string(id);
    std::error_code error;
    const std::uintmax_t actual = std::filesystem::file_size(upload->file, error);
    if (error || actual != upload->size) {
        throw Failure("the stored bytes of upload " + std::string(id) + " are missing or cut");
    }
    return upload;
}

} // namespace tovelin

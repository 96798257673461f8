#include "upload/input_file.h"

#include "upload/failure.h"
#include "upload/open_failure.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace tovelin {

InputFile openInputFile(const std::string& path)
{
    // O_NONBLOCK keeps a FIFO without a writer from hanging the caller.
    FileHandle handle(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!handle.valid()) {
        throw Failure(openFailureMessage(path, errno));
    }
    struct stat info
    {
    };
    if (::fstat(handle.get(), &info) != 0) {
        throw Failure(openFailureMessage(path, errno));
    }
    // A folder opens read-only on Linux and reports a size; it is not a file to send.
    if (S_ISDIR(info.st_mode)) {
        throw Failure(openFailureMessage(path, EISDIR));
    }
    const int flags = ::fcntl(handle.get(), F_GETFL);
    if (flags >= 0) {
        ::fcntl(handle.get(), F_SETFL, flags & ~O_NONBLOCK);
    }
    return InputFile{std::move(handle), S_ISREG(info.st_mode) ? std::int64_t{info.st_size} : 0};
}

} // namespace tovelin

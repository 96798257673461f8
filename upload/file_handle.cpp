#include "upload/file_handle.h"

#include <unistd.h>

namespace tovelin {

void FileHandle::reset(int fd)
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = fd;
}

} // namespace tovelin

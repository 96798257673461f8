#include "upload/form_data_body.h"

#include "upload/boundary.h"
#include "upload/input_file.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <unistd.h>

namespace tovelin {
namespace {

constexpr std::string_view kCrLf = "\r\n";

// The file's own name, never its folders: the host has no business with the user's
// account and folder names.
std::string_view lastComponent(std::string_view path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Only the bytes that could end the quoted parameter or start a new header line.
std::string quotedParameterValue(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        switch (c) {
        case '"':
            out += "%22";
            break;
        case '\r':
            out += "%0D";
            break;
        case '\n':
            out += "%0A";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

FormDataBody::FormDataBody(std::chrono::system_clock::time_point created)
    : m_boundary(makeBoundary(created))
{
}

void FormDataBody::addFilePart(const std::string& fieldName, const std::string& path,
                               const std::string& contentType)
{
    if (m_file.valid()) {
        throw std::logic_error("a form-data body carries one file part");
    }
    InputFile input = openInputFile(path);
    m_file = std::move(input.handle);
    m_fileLength = input.length;

    m_head.clear();
    m_head.append("--").append(m_boundary).append(kCrLf);
    m_head.append("Content-Disposition: form-data; name=\"").append(fieldName);
    m_head.append("\"; filename=\"").append(quotedParameterValue(lastComponent(path)));
    m_head.append("\"").append(kCrLf);
    m_head.append("Content-Type: ").append(contentType).append(kCrLf).append(kCrLf);
    m_tail.clear();
    m_tail.append(kCrLf).append("--").append(m_boundary).append("--").append(kCrLf);
    rewind();
}

std::string FormDataBody::contentType() const
{
    return "multipart/form-data; boundary=" + m_boundary;
}

std::int64_t FormDataBody::length() const
{
    return static_cast<std::int64_t>(m_head.size()) + m_fileLength +
           static_cast<std::int64_t>(m_tail.size());
}

void FormDataBody::rewind()
{
    m_headSent = 0;
    m_fileSent = 0;
    m_fileEnded = false;
    m_tailSent = 0;
    if (m_file.valid() && ::lseek(m_file.get(), 0, SEEK_SET) != 0) {
        m_fileEnded = true;
    }
}

std::size_t FormDataBody::read(char* buffer, std::size_t n)
{
    std::size_t done = 0;
    const auto copyFrom = [&](const std::string& run, std::size_t& sent) {
        const std::size_t count = std::min(n - done, run.size() - sent);
        std::copy_n(run.data() + sent, count, buffer + done);
        sent += count;
        done += count;
    };
    if (m_headSent < m_head.size()) {
        copyFrom(m_head, m_headSent);
    }
    while (done < n && !m_fileEnded && m_fileSent < m_fileLength) {
        const auto wanted = static_cast<std::size_t>(
            std::min(static_cast<std::int64_t>(n - done), m_fileLength - m_fileSent));
        const std::size_t got = readFile(buffer + done, wanted);
        m_fileSent += static_cast<std::int64_t>(got);
        done += got;
        if (got < wanted) {
            // A file that shrank or failed to read ends its bytes here; the exchange sees
            // the body fall short of its length and reports it.
            m_fileEnded = true;
        }
    }
    if (done < n) {
        copyFrom(m_tail, m_tailSent);
    }
    return done;
}

std::size_t FormDataBody::readFile(char* buffer, std::size_t n)
{
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::read(m_file.get(), buffer + got, n - got);
        if (r > 0) {
            got += static_cast<std::size_t>(r);
        } else if (r < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    return got;
}

} // namespace tovelin

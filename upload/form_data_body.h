#pragma once

#include "upload/file_handle.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tovelin {

// The multipart/form-data body of one upload: one file part, produced on demand so the
// file is never held in memory. The exchange pulls it with rewind() and read().
class FormDataBody
{
public:
    // Fixes the boundary from the given moment of the local clock.
    explicit FormDataBody(
        std::chrono::system_clock::time_point created = std::chrono::system_clock::now());

    // Opens the file read-only and takes its length now. Throws Failure with the
    // open-failure message when the file cannot be opened. Only one part may be added.
    void addFilePart(const std::string& fieldName, const std::string& path,
                     const std::string& contentType);

    const std::string& boundary() const { return m_boundary; }
    std::string contentType() const;
    // Bytes the body yields when the file keeps its length; known before any byte is read.
    std::int64_t length() const;

    void rewind();
    // Copies up to n bytes; returns fewer only at the end (or when the file ran short),
    // 0 once exhausted.
    std::size_t read(char* buffer, std::size_t n);

private:
    std::size_t readFile(char* buffer, std::size_t n);

    std::string m_boundary;
    std::string m_head; // delimiter and part header, up to the file's first byte
    std::string m_tail; // CRLF and the closing delimiter
    FileHandle m_file;
    std::int64_t m_fileLength = 0;
    std::size_t m_headSent = 0;
    std::int64_t m_fileSent = 0;
    bool m_fileEnded = false; // the file ran short: the tail follows at once
    std::size_t m_tailSent = 0;
};

} // namespace tovelin

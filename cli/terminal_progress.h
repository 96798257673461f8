#pragma once

#include "cli/upload_progress.h"

#include <cstdint>
#include <cstdio>

namespace tovelin {

// A one-line progress bar for the body's send, redrawn in place on a terminal.
class TerminalProgress : public UploadProgress
{
public:
    explicit TerminalProgress(std::FILE* terminal) : m_terminal(terminal) {}

    void OnWorkBegin(TWorkMode mode, std::int64_t countMax) override;
    void OnWork(TWorkMode mode, std::int64_t count) override;
    // Wipes the bar so the next line starts clean.
    void finished() override;

private:
    void draw(std::int64_t count);

    std::FILE* m_terminal;
    std::int64_t m_total = 0;
    int m_shownPercent = -1;
    bool m_drawn = false;
};

} // namespace tovelin

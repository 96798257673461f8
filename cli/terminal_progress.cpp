#include "cli/terminal_progress.h"

#include <algorithm>
#include <string>

namespace tovelin {

namespace {

constexpr int kBarWidth = 40;

} // namespace

void TerminalProgress::OnWorkBegin(TWorkMode mode, std::int64_t countMax)
{
    // Only the body's send moves the bar: the reply of a host is a few bytes.
    if (mode == TWorkMode::wmWrite) {
        m_total = countMax;
        m_shownPercent = -1;
        draw(0);
    }
}

void TerminalProgress::OnWork(TWorkMode mode, std::int64_t count)
{
    if (mode == TWorkMode::wmWrite) {
        draw(count);
    }
}

void TerminalProgress::draw(std::int64_t count)
{
    if (m_total <= 0) {
        return;
    }
    const int percent = static_cast<int>(std::clamp<std::int64_t>(count * 100 / m_total, 0, 100));
    if (percent == m_shownPercent) {
        return;
    }
    m_shownPercent = percent;
    const int filled = percent * kBarWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), ' ');
    std::fprintf(m_terminal, "\r[%s] %3d%%  %lld KB", bar.c_str(), percent,
                 static_cast<long long>(m_total / 1024));
    std::fflush(m_terminal);
    m_drawn = true;
}

void TerminalProgress::finished()
{
    if (m_drawn) {
        std::fputs("\r\033[K", m_terminal);
        std::fflush(m_terminal);
        m_drawn = false;
    }
}

} // namespace tovelin

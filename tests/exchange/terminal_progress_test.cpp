#include "cli/terminal_progress.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace tovelin {
namespace {

std::string written(std::FILE* file)
{
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, file)) {
        text.append(buffer, got);
    }
    return text;
}

TEST(TerminalProgress, FollowsTheSendAndWipesItself)
{
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    TerminalProgress progress(file);
    progress.OnWorkBegin(TWorkMode::wmWrite, 200 * 1024);
    progress.OnWork(TWorkMode::wmWrite, 100 * 1024);
    progress.OnWork(TWorkMode::wmWrite, 100 * 1024 + 1); // same percentage: no redraw
    progress.OnWork(TWorkMode::wmWrite, 200 * 1024);
    progress.OnWorkBegin(TWorkMode::wmRead, 10); // the reply does not move the bar
    progress.OnWork(TWorkMode::wmRead, 10);
    progress.finished();
    const std::string text = written(file);
    std::fclose(file);

    const std::string empty = "\r[" + std::string(40, ' ') + "]   0%  200 KB";
    const std::string half = "\r[" + std::string(20, '#') + std::string(20, ' ') + "]  50%  200 KB";
    const std::string full = "\r[" + std::string(40, '#') + "] 100%  200 KB";
    EXPECT_EQ(text, empty + half + full + "\r\033[K");
}

TEST(TerminalProgress, NothingDrawnNothingWiped)
{
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    TerminalProgress progress(file);
    progress.OnWorkBegin(TWorkMode::wmRead, 0);
    progress.finished();
    EXPECT_EQ(written(file), "");
    std::fclose(file);
}

} // namespace
} // namespace tovelin

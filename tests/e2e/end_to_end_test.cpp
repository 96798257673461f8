#include "app/window_program.h"
#include "tests/e2e/host_under_test.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/ui_test_support.h"
#include "ui/Unit1.h"
#include "upload/endpoint.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

namespace tovelin {
namespace {

using namespace std::chrono_literals;
using test::HostUnderTest;
using Paths = std::vector<std::filesystem::path>;

// Uploads the files one after another in one run of an uploader; returns the link each
// one got, as the uploader showed it.
using Uploader = std::function<std::vector<std::string>(const HostUnderTest&, const Paths&)>;

// The window program as a person runs it: the choose button, the open-file dialog (answered
// by the test), the link box.
std::vector<std::string> throughWindow(const HostUnderTest& host, const Paths& paths)
{
    std::vector<std::string> links;
    test::BoxAnswerer boxes;
    const int code =
        runWindowProgram(*Endpoint::parse(host.uploadUrl()), [&](TForm1& form1, TForm2&) {
            for (const std::filesystem::path& path : paths) {
                const QString chosen = QFile::decodeName(path.c_str());
                form1.OpenDialog1.setRunner(
                    [chosen](QFileDialog&) -> std::optional<QString> { return chosen; });
                QSignalSpy ended(&form1, &TForm1::uploadEnded);
                form1.sButton1->click();
                EXPECT_TRUE(test::waitFor([&] { return ended.count() == 1; }, 300s))
                    << "no outcome for " << path;
                links.push_back(form1.Edit1->text().toStdString());
            }
            QTimer::singleShot(0, &form1, [&form1] { form1.close(); });
        });
    EXPECT_EQ(code, 0);
    for (const test::SeenBox& box : boxes.seen()) {
        ADD_FAILURE() << "unexpected box: " << box.text.toStdString();
    }
    return links;
}

// tovelin-upload with every file on one command line; one link per line on its output.
std::vector<std::string> throughCommandLine(const HostUnderTest& host, const Paths& paths)
{
    QStringList args{QStringLiteral("--url"), QString::fromStdString(host.uploadUrl())};
    for (const std::filesystem::path& path : paths) {
        args << QFile::decodeName(path.c_str());
    }
    QProcess upload;
    upload.setProcessChannelMode(QProcess::SeparateChannels);
    upload.start(QStringLiteral(TOVELIN_UPLOAD_BINARY), args);
    EXPECT_TRUE(upload.waitForFinished(300000)) << "tovelin-upload did not finish";
    EXPECT_EQ(upload.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(upload.exitCode(), 0) << upload.readAllStandardError().toStdString();
    std::vector<std::string> links;
    for (const QByteArray& line : upload.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty()) {
            links.push_back(line.toStdString());
        }
    }
    return links;
}

struct UploaderCase
{
    const char* name;
    Uploader upload;
};

void PrintTo(const UploaderCase& c, std::ostream* out)
{
    *out << c.name;
}

class EndToEnd : public testing::TestWithParam<UploaderCase>
{
protected:
    std::vector<std::string> upload(const Paths& paths)
    {
        std::vector<std::string> links = GetParam().upload(m_host, paths);
        EXPECT_EQ(links.size(), paths.size());
        for (const std::string& link : links) {
            EXPECT_EQ(link.rfind(m_host.linkPrefix(), 0), 0u) << link;
            EXPECT_EQ(link.size(), m_host.linkPrefix().size() + 16) << link;
        }
        links.resize(paths.size());
        return links;
    }

    HostUnderTest m_host;
    test::TempDir m_files;
};

TEST_P(EndToEnd, LinkReturnsTheSameBytes)
{
    const auto path = test::writeRandomFile(m_files.path() / "photo.jpg", 300 * 1024 + 7, 1);
    const std::vector<std::string> links = upload({path});
    const test::Download download = fetch(m_host, links[0], path);
    EXPECT_EQ(download.status, 200);
    EXPECT_TRUE(download.sameAsFile);
    EXPECT_EQ(download.length, 300u * 1024 + 7);
    EXPECT_EQ(download.contentType, "application/octet-stream");
    EXPECT_EQ(download.disposition, "attachment; filename=\"photo.jpg\"");
}

TEST_P(EndToEnd, CyrillicNameComesBackInContentDisposition)
{
    const auto path = test::writeRandomFile(
        m_files.path() / "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82 \xD0\xB7\xD0\xB0 "
                         "\xD0\xBC\xD0\xB0\xD0\xB9.txt",
        1000, 2);
    const std::vector<std::string> links = upload({path});
    const test::Download download = fetch(m_host, links[0], path);
    EXPECT_TRUE(download.sameAsFile);
    EXPECT_EQ(download.disposition,
              "attachment; filename=\"_____ __ ___.txt\"; filename*=UTF-8''"
              "%D0%9E%D1%82%D1%87%D1%91%D1%82%20%D0%B7%D0%B0%20%D0%BC%D0%B0%D0%B9.txt");
}

TEST_P(EndToEnd, LargestAllowedFileComesBackWhole)
{
    constexpr std::uint64_t kLargest = 51199ULL * 1024;
    const auto path = test::writeRandomFile(m_files.path() / "largest.bin", kLargest, 3);
    const std::vector<std::string> links = upload({path});
    const test::Download download = fetch(m_host, links[0], path);
    EXPECT_EQ(download.status, 200);
    EXPECT_EQ(download.length, kLargest);
    EXPECT_TRUE(download.sameAsFile);
}

TEST_P(EndToEnd, TwoUploadsInOneRunGetDifferentLinks)
{
    // The same name twice: the links still differ and each keeps its own bytes.
    std::filesystem::create_directories(m_files.path() / "a");
    std::filesystem::create_directories(m_files.path() / "b");
    const auto first = test::writeRandomFile(m_files.path() / "a" / "same.dat", 5000, 4);
    const auto second = test::writeRandomFile(m_files.path() / "b" / "same.dat", 6000, 5);
    const std::vector<std::string> links = upload({first, second});
    EXPECT_NE(links[0], links[1]);
    EXPECT_TRUE(fetch(m_host, links[0], first).sameAsFile);
    EXPECT_TRUE(fetch(m_host, links[1], second).sameAsFile);
}

INSTANTIATE_TEST_SUITE_P(Uploaders, EndToEnd,
                         testing::Values(UploaderCase{"window", throughWindow},
                                         UploaderCase{"command_line", throughCommandLine}),
                         [](const testing::TestParamInfo<UploaderCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace tovelin

#include "host/upload_id.h"
#include "host/upload_store.h"
#include "tests/support/temp_dir.h"
#include "upload/failure.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string>

namespace tovelin {
namespace {

using test::TempDir;

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string store(UploadStore& uploads, const std::string& bytes, const std::string& name)
{
    PendingUpload pending = uploads.begin();
    EXPECT_TRUE(pending.write(bytes.data(), bytes.size()));
    return uploads.commit(pending, name);
}

std::set<std::string> entries(const std::filesystem::path& dir)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

TEST(UploadId, IsUrlSafeAndFresh)
{
    std::set<std::string> seen;
    for (int i = 0; i < 2000; ++i) {
        const std::string id = newUploadId();
        ASSERT_EQ(id.size(), 16u);
        ASSERT_EQ(id.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                       "0123456789-_"),
                  std::string::npos)
            << id;
        ASSERT_TRUE(isUploadId(id));
        ASSERT_TRUE(seen.insert(id).second) << "repeated " << id;
    }
}

TEST(UploadId, RefusesAnythingElse)
{
    for (const char* text : {"", "short", "AAAAAAAAAAAAAAA", "AAAAAAAAAAAAAAAAA",
                             "AAAAAAAA/AAAAAAA", "../AAAAAAAAAAAAA", "AAAAAAAAAAAAAA.."}) {
        EXPECT_FALSE(isUploadId(text)) << text;
    }
}

TEST(UploadStore, KeepsBytesAndNameUnderTheIdentifier)
{
    TempDir dir;
    UploadStore uploads(dir.path() / "data");
    const std::string bytes("a\0b\r\n--boundary--\r\n", 20);
    const std::string id = store(uploads, bytes, "\xD0\xAF.bin");

    const auto found = uploads.find(id);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, "\xD0\xAF.bin");
    EXPECT_EQ(found->size, bytes.size());
    EXPECT_EQ(readFile(found->file), bytes);
    // Only the bytes and their record remain; the file they streamed into is gone.
    EXPECT_EQ(entries(uploads.dir()), (std::set<std::string>{id, id + ".meta"}));
}

TEST(UploadStore, EmptyUploadIsKept)
{
    TempDir dir;
    UploadStore uploads(dir.path());
    const std::string id = store(uploads, "", "empty");
    const auto found = uploads.find(id);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->size, 0u);
}

TEST(UploadStore, SurvivesARestart)
{
    TempDir dir;
    std::string id;
    {
        UploadStore uploads(dir.path());
        id = store(uploads, "kept across restarts", "notes.txt");
    }
    UploadStore reopened(dir.path());
    const auto found = reopened.find(id);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, "notes.txt");
    EXPECT_EQ(readFile(found->file), "kept across restarts");
}

TEST(UploadStore, DroppedPendingUploadLeavesNothing)
{
    TempDir dir;
    UploadStore uploads(dir.path());
    {
        PendingUpload pending = uploads.begin();
        ASSERT_TRUE(pending.write("partial", 7));
        EXPECT_EQ(entries(dir.path()).size(), 1u);
    }
    EXPECT_TRUE(entries(dir.path()).empty());
}

TEST(UploadStore, RestartSweepsWhatAnInterruptedHostLeft)
{
    TempDir dir;
    std::string kept;
    {
        UploadStore uploads(dir.path());
        kept = store(uploads, "whole", "whole.txt");
    }
    const std::string orphan = newUploadId(); // bytes whose record was never written
    dir.write(orphan, "orphan");
    dir.write(".part-" + newUploadId(), "half an upload");
    dir.write("README", "not ours");

    UploadStore reopened(dir.path());
    EXPECT_EQ(entries(dir.path()), (std::set<std::string>{kept, kept + ".meta", "README"}));
    EXPECT_TRUE(reopened.find(kept));
}

TEST(UploadStore, UnknownOrMalformedIdentifiersAreNotFound)
{
    TempDir dir;
    UploadStore uploads(dir.path() / "data");
    dir.write("secret", "outside the data folder");
    for (const std::string& id : {newUploadId(), std::string("../secret"), std::string(".."),
                                  std::string(""), std::string("/etc/passwd")}) {
        EXPECT_FALSE(uploads.find(id)) << id;
    }
}

TEST(UploadStore, DamagedRecordOrCutBytesAreReported)
{
    TempDir dir;
    UploadStore uploads(dir.path());
    const std::string cut = store(uploads, "0123456789", "ten.bin");
    std::filesystem::resize_file(dir.path() / cut, 4);
    EXPECT_THROW(uploads.find(cut), Failure);

    const std::string garbled = store(uploads, "abc", "abc.bin");
    dir.write(garbled + ".meta", "size=three\n");
    EXPECT_THROW(uploads.find(garbled), Failure);
}

TEST(UploadStore, UnusableFolderIsAFailure)
{
    TempDir dir;
    const std::string file = dir.write("plain-file", "x");
    EXPECT_THROW(UploadStore(std::filesystem::path(file)), Failure);
    EXPECT_THROW(UploadStore(std::filesystem::path(file) / "below"), Failure);
}

} // namespace
} // namespace tovelin

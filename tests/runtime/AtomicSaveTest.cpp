// Saves on a real disk: data synced before the rename, temporary names within the folder's
// name limit, what the new file takes from the one it replaces, new files that replace
// nothing, files the user may not write, and sources that are not regular files.

#include "runtime/Exceptions.h"
#include "runtime/Stream.h"
#include "support/Raised.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <acl/libacl.h>
#include <fcntl.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>

using namespace kapto;

namespace {

std::vector<TAtomicFileStream::TStep> g_steps;
std::vector<std::string> g_entriesAtRename;
const TTempDir* g_observed = nullptr;

void RecordStep(TAtomicFileStream::TStep step)
{
    g_steps.push_back(step);
    if (step == TAtomicFileStream::TStep::Rename && g_observed != nullptr) {
        g_entriesAtRename = g_observed->Entries();
    }
}

void Save(const std::string& fileName, const std::string& text)
{
    TAtomicFileStream stream(fileName);
    stream.WriteBuffer(text.data(), text.size());
    stream.Commit();
}

struct stat Lstat(const std::string& fileName)
{
    struct stat info
    {};
    EXPECT_EQ(::lstat(fileName.c_str(), &info), 0) << fileName;
    return info;
}

bool IsValidUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        const uint8_t lead = uint8_t(text[i]);
        const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (i + length > text.size()) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            if ((uint8_t(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

} // namespace

TEST(AtomicSave, DataIsSyncedBeforeTheNameAndLongNamesFit)
{
    TTempDir dir;
    g_observed = &dir;
    TAtomicFileStream::SetStepObserver(RecordStep);
    // 255 bytes, the most a name may have, in ASCII and in three-byte characters.
    std::string japanese;
    for (int i = 0; i < 83; ++i) {
        japanese += "あ";
    }
    for (const std::string& name : {std::string(251, 'a') + ".png", japanese + ".png"}) {
        g_steps.clear();
        Save(dir.Path(name), "new");
        const std::vector<TAtomicFileStream::TStep> expected = {
            TAtomicFileStream::TStep::SyncFile, TAtomicFileStream::TStep::Rename,
            TAtomicFileStream::TStep::SyncFolder};
        EXPECT_EQ(g_steps, expected);
        ASSERT_EQ(g_entriesAtRename.size(), 1u);
        EXPECT_LE(g_entriesAtRename[0].size(), 255u);
        EXPECT_TRUE(IsValidUtf8(g_entriesAtRename[0])) << g_entriesAtRename[0];
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{name});
        ::unlink(dir.Path(name).c_str());
    }
    TAtomicFileStream::SetStepObserver(nullptr);
    g_observed = nullptr;
}

TEST(AtomicSave, NewFileTakesPermissionsButNeverThroughALink)
{
    TTempDir dir;
    const std::string setuid = dir.Path("tool");
    WriteFileBytes(setuid, {1});
    ::chmod(setuid.c_str(), 04755);
    const mode_t mask = ::umask(022);
    struct TCase
    {
        const char* Name;
        std::function<void(const std::string&)> Prepare;
        mode_t Expected;
    };
    const std::vector<TCase> cases = {
        {"regular 0640",
         [](const std::string& name) {
             WriteFileBytes(name, {0});
             ::chmod(name.c_str(), 0640);
         },
         0640},
        {"regular 04755 loses set-uid",
         [](const std::string& name) {
             WriteFileBytes(name, {0});
             ::chmod(name.c_str(), 04755);
         },
         0755},
        {"link to a set-uid file",
         [&](const std::string& name) { ASSERT_EQ(::symlink(setuid.c_str(), name.c_str()), 0); },
         0644},
        {"dangling link", [](const std::string& name) { ::symlink("nowhere", name.c_str()); },
         0644},
        {"nothing", [](const std::string&) {}, 0644},
    };
    for (const TCase& c : cases) {
        const std::string target = dir.Path(std::string(c.Name) + ".png");
        c.Prepare(target);
        Save(target, "new");
        const struct stat info = Lstat(target);
        EXPECT_TRUE(S_ISREG(info.st_mode)) << c.Name;
        EXPECT_EQ(info.st_mode & 07777, c.Expected) << c.Name;
    }
    ::umask(mask);
    EXPECT_EQ(Lstat(setuid).st_mode & 07777, mode_t(04755));
    EXPECT_EQ(ReadFileBytes(setuid), std::vector<uint8_t>{1});
}

TEST(AtomicSave, ANewFileNeverReplacesWhatCameMeanwhile)
{
    TTempDir dir;
    const mode_t mask = ::umask(022);
    struct TCase
    {
        const char* Name;
        std::function<void(const std::string&)> Plant;
        mode_t Type;
    };
    const std::vector<TCase> cases = {
        {"file", [](const std::string& name) { WriteFileBytes(name, {'p'}); }, S_IFREG},
        {"dangling link", [](const std::string& name) { ::symlink("nowhere", name.c_str()); },
         S_IFLNK},
        {"folder", [](const std::string& name) { ::mkdir(name.c_str(), 0700); }, S_IFDIR},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string target = dir.Path(std::string(c.Name) + ".png");
        const std::string other = dir.Path(std::string(c.Name) + "-01.png");
        {
            TAtomicFileStream stream(target, 0600);
            stream.WriteBuffer("new", 3);
            c.Plant(target);
            EXPECT_FALSE(stream.CommitNew(target));
            EXPECT_TRUE(stream.CommitNew(other));
        }
        EXPECT_EQ(Lstat(target).st_mode & S_IFMT, c.Type);
        EXPECT_EQ(ReadFileBytes(other), (std::vector<uint8_t>{'n', 'e', 'w'}));
        EXPECT_EQ(Lstat(other).st_mode & 07777, mode_t(0600));
    }
    EXPECT_EQ(ReadFileBytes(dir.Path("file.png")), std::vector<uint8_t>{'p'});
    // Nothing but the planted names and the outputs: no temporary file is left.
    EXPECT_EQ(dir.Entries().size(), 2 * cases.size());
    ::umask(mask);
}

TEST(AtomicSave, AReplacedFileKeepsItsAccessListAndAttributes)
{
    TTempDir dir;
    const std::string target = dir.Path("shared.png");
    WriteFileBytes(target, {0});
    ::chmod(target.c_str(), 0640);
    // The group may only read; the mask, which the group bits of the mode show, allows more.
    acl_t acl = acl_from_text("u::rw-,u:nobody:rw-,g::r--,m::rw-,o::---");
    ASSERT_NE(acl, nullptr);
    const bool listed = acl_set_file(target.c_str(), ACL_TYPE_ACCESS, acl) == 0;
    acl_free(acl);
    if (!listed) {
        GTEST_SKIP() << "this file system keeps no access control lists";
    }
    const bool attributed = ::setxattr(target.c_str(), "user.kapto.note", "kept", 4, 0) == 0;
    const auto listText = [](const std::string& name) {
        acl_t list = acl_get_file(name.c_str(), ACL_TYPE_ACCESS);
        char* text = acl_to_any_text(list, nullptr, ',', 0);
        const std::string result = text != nullptr ? text : "";
        acl_free(text);
        acl_free(list);
        return result;
    };
    const std::string before = listText(target);
    Save(target, "new");
    EXPECT_EQ(listText(target), before);
    EXPECT_EQ(listText(target), "user::rw-,user:nobody:rw-,group::r--,mask::rw-,other::---");
    char value[16] = {};
    if (!attributed) {
        GTEST_SKIP() << "this file system keeps no user attributes; the access list was checked";
    }
    EXPECT_EQ(::getxattr(target.c_str(), "user.kapto.note", value, sizeof value), 4);
    EXPECT_EQ(std::string(value), "kept");
}

TEST(AtomicSave, NewFileKeepsTheOwnerWherePermitted)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving a file to another owner needs root";
    }
    TTempDir dir;
    const std::string target = dir.Path("theirs.png");
    WriteFileBytes(target, {0});
    ASSERT_EQ(::chown(target.c_str(), 1234, 5678), 0);
    Save(target, "new");
    const struct stat info = Lstat(target);
    EXPECT_EQ(info.st_uid, uid_t(1234));
    EXPECT_EQ(info.st_gid, gid_t(5678));
}

TEST(AtomicSave, FilesTheUserMayNotWriteAreNotReplaced)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "acting as another user needs root";
    }
    // Root may write every file: the saves run in a child that is someone else, on its own
    // read-only file and on root's file.
    TTempDir dir;
    const uid_t user = 65534;
    const std::string own = dir.Path("own.png");
    const std::string others = dir.Path("others.png");
    WriteFileBytes(own, {7});
    WriteFileBytes(others, {7});
    ::chmod(own.c_str(), 0444);
    ::chmod(others.c_str(), 0644);
    ASSERT_EQ(::chown(own.c_str(), user, user), 0);
    ::chmod(dir.Root().c_str(), 0777);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(user) != 0 || ::setuid(user) != 0) {
            std::_Exit(10);
        }
        int failures = 0;
        for (const std::string& name : {own, others}) {
            try {
                Save(name, "new");
                ++failures;
            } catch (const EFCreateError& e) {
                failures += e.Message() == "ファイル " + name + " を作成できません" ? 0 : 1;
            }
        }
        std::_Exit(failures);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadFileBytes(own), std::vector<uint8_t>{7});
    EXPECT_EQ(ReadFileBytes(others), std::vector<uint8_t>{7});
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"others.png", "own.png"}));
}

TEST(AtomicSave, SourcesThatAreNotRegularFilesAreRefusedAtOnce)
{
    TTempDir dir;
    const std::string fifo = dir.Path("pipe.png");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& name : {fifo, std::string("/dev/null"), dir.Root()}) {
        auto opened = std::async(std::launch::async, [name] {
            return MessageOf<EFOpenError>(
                [&name] { TFileStream stream(name, TFileMode::OpenRead); }, "opened");
        });
        if (opened.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << name << " blocks";
            // Give the blocked open a writer, so that the test can end.
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            opened.wait();
            ::close(fd);
            continue;
        }
        EXPECT_EQ(opened.get(), "ファイル " + name + " は開けません");
    }
}

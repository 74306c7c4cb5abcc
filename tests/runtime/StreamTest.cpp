// Streams: checked reads and writes, file open and create failures, and saves that never
// leave a partial file behind.

#include "runtime/Stream.h"
#include "runtime/Exceptions.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace kapto;

namespace {

// A stream that accepts only a few bytes, like a full disk.
class TShortStream : public TMemoryStream
{
public:
    explicit TShortStream(size_t capacity) : m_capacity(capacity) {}
    size_t Write(const void* buffer, size_t count) override
    {
        const size_t n = std::min(count, m_capacity - std::min(m_capacity, size_t(Size())));
        return TMemoryStream::Write(buffer, n);
    }

private:
    size_t m_capacity;
};

} // namespace

TEST(StreamTest, ShortReadsAndWritesRaiseTheirErrors)
{
    TMemoryStream source({1, 2, 3});
    uint8_t buffer[4];
    try {
        source.ReadBuffer(buffer, 4);
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "ストリームからの読み込みエラー");
    }
    TShortStream target(2);
    try {
        target.WriteBuffer(buffer, 3);
        FAIL();
    } catch (const EWriteError& e) {
        EXPECT_EQ(e.Message(), "ストリームへの書き込みエラー");
    }
}

TEST(StreamTest, LittleEndianValuesRoundTrip)
{
    TMemoryStream stream;
    stream.WriteUInt16LE(0x4D42);
    stream.WriteUInt32LE(0x01020304);
    EXPECT_EQ(stream.Bytes(), (std::vector<uint8_t>{0x42, 0x4D, 4, 3, 2, 1}));
    stream.SetPosition(0);
    EXPECT_EQ(stream.ReadUInt16LE(), 0x4D42);
    EXPECT_EQ(stream.ReadUInt32LE(), 0x01020304u);
    EXPECT_EQ(stream.Remaining(), 0u);
}

TEST(StreamTest, OpenAndCreateFailuresNameTheFile)
{
    TTempDir dir;
    const std::string missing = dir.Path("missing.bmp");
    try {
        TFileStream stream(missing, TFileMode::OpenRead);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "ファイル " + missing + " は開けません");
    }
    // A folder is not a readable file.
    EXPECT_THROW(TFileStream(dir.Path(""), TFileMode::OpenRead), EFOpenError);
    const std::string inMissingFolder = dir.Path("no/such/out.bmp");
    try {
        TAtomicFileStream stream(inMissingFolder);
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(), "ファイル " + inMissingFolder + " を作成できません");
    }
}

TEST(StreamTest, AtomicStreamReplacesOnlyOnCommit)
{
    TTempDir dir;
    const std::string target = dir.Path("out.bin");
    WriteFileBytes(target, {9, 9, 9});
    {
        TAtomicFileStream stream(target);
        stream.WriteBuffer("abc", 3);
        // Dropped without Commit: as if the save failed half-way.
    }
    EXPECT_EQ(ReadFileBytes(target), (std::vector<uint8_t>{9, 9, 9}));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.bin"});
    {
        TAtomicFileStream stream(target);
        stream.WriteBuffer("abc", 3);
        stream.Commit();
    }
    EXPECT_EQ(ReadFileBytes(target), (std::vector<uint8_t>{'a', 'b', 'c'}));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.bin"});
}

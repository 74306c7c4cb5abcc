#pragma once
// Byte streams: the abstract TStream with checked whole-buffer reads and writes, a stream
// over a file and a growable stream in memory.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kapto {

enum class TSeekOrigin
{
    Beginning,
    Current,
    End
};

// The largest block of a file's metadata that a decoder keeps in memory (a PNG ancillary
// chunk, a GIF comment or application extension). Larger ones are passed over, so that
// memory follows the picture and not the file: real metadata (an ICC profile, XMP, a
// comment) stays far below it.
constexpr uint64_t kLargestKeptBlock = uint64_t(8) << 20;

class TStream
{
public:
    virtual ~TStream() = default;
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Reads up to count bytes; returns how many were read (0 at the end).
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Writes up to count bytes; returns how many were written.
    virtual size_t Write(const void* buffer, size_t count) = 0;
    // Moves the position and returns the new one.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    int64_t Position() { return Seek(0, TSeekOrigin::Current); }
    void SetPosition(int64_t position) { Seek(position, TSeekOrigin::Beginning); }
    virtual int64_t Size();
    // Bytes from the position to the end.
    uint64_t Remaining();

    // Reads exactly count bytes or raises EReadError.
    void ReadBuffer(void* buffer, size_t count);
    // Writes exactly count bytes or raises EWriteError.
    void WriteBuffer(const void* buffer, size_t count);
    // Copies count bytes from source (all from its position when count is 0); returns count.
    int64_t CopyFrom(TStream& source, int64_t count);

    uint8_t ReadByte();
    uint16_t ReadUInt16LE();
    uint32_t ReadUInt32LE();
    void WriteUInt16LE(uint16_t value);
    void WriteUInt32LE(uint32_t value);

protected:
    // The errno of the last read or write the system refused; 0 when there was none.
    virtual int SystemError() const { return 0; }
};

enum class TFileMode
{
    OpenRead, // an existing file, read only; writing by others is denied where the system can
    Create    // a new or emptied file, read and write
};

// A stream over a file. Open and create failures raise EFOpenError / EFCreateError naming
// the file. Close() reports errors of the last buffered writes; the destructor swallows them.
class TFileStream : public TStream
{
public:
    TFileStream(const std::string& fileName, TFileMode mode);
    ~TFileStream() override;

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;

    // Flushes and closes; raises EWriteError when buffered data could not be written.
    void Close();
    // Flushes and waits until the data is on the disk; raises EWriteError.
    void SyncToDisk();
    // Flushes the buffered writes; raises EWriteError.
    void Flush();
    const std::string& FileName() const { return m_fileName; }

protected:
    // The descriptor of the open file, or -1.
    int Descriptor() const;
    int SystemError() const override { return m_systemError; }

    TFileStream(const std::string& fileName, std::FILE* file);

private:
    // Remembers errno when the file's error flag is set.
    void NoteError();

    std::string m_fileName;
    std::FILE* m_file = nullptr;
    int m_systemError = 0;
};

// A file written under a temporary name in the target's folder and put in place only by a
// commit: a failed save never leaves a partial file and never destroys the file it was to
// replace. Without a commit the temporary file is removed. The temporary name is "." + the
// target's name (shortened to fit the folder's name limit) + ".kapto-" + six random
// characters. A target that is a link is replaced by a regular file, never written through;
// a regular file the user may not write is not replaced (EFCreateError).
class TAtomicFileStream : public TFileStream
{
public:
    // newFileMode: the permission bits a file that replaces nothing takes, less the umask and
    // never more than read and write.
    explicit TAtomicFileStream(const std::string& fileName, unsigned newFileMode = 0666);
    // The same in a folder already open: folder is the descriptor of the folder the file
    // name lies in (the stream keeps its own copy), or -1 to open it by name. Every step
    // names the file relative to it, so the file lands in that folder wherever its path
    // leads meanwhile.
    TAtomicFileStream(int folder, const std::string& fileName, unsigned newFileMode);
    ~TAtomicFileStream() override;

    // Writes everything out, syncs it to the disk and puts the file in place, replacing what
    // stands there; the new file keeps the replaced file's owner, group, permission bits,
    // access control list and extended attributes where allowed. Raises EWriteError (data)
    // or EFCreateError (the rename).
    void Commit();
    // The same under name, a name in the target's folder (its folder part is not looked at),
    // but only where nothing has that
    // name: returns false when it is taken, leaving the data for another commit. The file
    // takes the new-file permission bits.
    bool CommitNew(const std::string& name);

    // The steps of a commit, in order, for tests that check that data is synced first.
    enum class TStep
    {
        SyncFile,
        Rename,
        SyncFolder
    };
    using TStepObserver = void (*)(TStep step);
    static void SetStepObserver(TStepObserver observer);

    // For a process about to end on a signal: removes the temporary files of every save in
    // flight, on any thread, and holds every other save where it is, for good.
    static void RemoveTemporaryFilesForExit();

private:
    struct TTemporary
    {
        std::FILE* File;
        int Folder;
        std::string Name; // in the folder
    };
    static TTemporary CreateTemporary(int folder, const std::string& fileName);
    TAtomicFileStream(const std::string& fileName, TTemporary temporary, unsigned newFileMode);
    void Discard();
    bool Place(const std::string& name, bool replace);

    int m_folder;
    std::string m_temporaryName;
    unsigned m_newFileMode;
    bool m_committed = false;
};

// A stream over a growable byte buffer.
class TMemoryStream : public TStream
{
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return int64_t(m_bytes.size()); }

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    std::vector<uint8_t>& Bytes() { return m_bytes; }
    void Clear();

private:
    std::vector<uint8_t> m_bytes;
    size_t m_position = 0;
};

} // namespace kapto

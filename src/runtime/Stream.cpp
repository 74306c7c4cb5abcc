#include "runtime/Stream.h"

#include "runtime/Exceptions.h"
#include "runtime/Messages.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kapto {

int64_t TStream::Size()
{
    const int64_t position = Seek(0, TSeekOrigin::Current);
    const int64_t size = Seek(0, TSeekOrigin::End);
    Seek(position, TSeekOrigin::Beginning);
    return size;
}

uint64_t TStream::Remaining()
{
    const int64_t size = Size();
    const int64_t position = Position();
    return size > position ? uint64_t(size - position) : 0;
}

void TStream::ReadBuffer(void* buffer, size_t count)
{
    if (count != 0 && Read(buffer, count) != count) {
        throw EReadError(FormatMessage(TMessage::ReadError));
    }
}

void TStream::WriteBuffer(const void* buffer, size_t count)
{
    if (count != 0 && Write(buffer, count) != count) {
        throw EWriteError(FormatMessage(TMessage::WriteError));
    }
}

int64_t TStream::CopyFrom(TStream& source, int64_t count)
{
    if (count == 0) {
        count = int64_t(source.Remaining());
    }
    std::vector<uint8_t> buffer(size_t(std::min<int64_t>(count, 1 << 16)));
    int64_t left = count;
    while (left > 0) {
        const size_t chunk = size_t(std::min<int64_t>(left, int64_t(buffer.size())));
        source.ReadBuffer(buffer.data(), chunk);
        WriteBuffer(buffer.data(), chunk);
        left -= int64_t(chunk);
    }
    return count;
}

uint8_t TStream::ReadByte()
{
    uint8_t value = 0;
    ReadBuffer(&value, 1);
    return value;
}

uint16_t TStream::ReadUInt16LE()
{
    uint8_t bytes[2];
    ReadBuffer(bytes, 2);
    return uint16_t(bytes[0] | bytes[1] << 8);
}

uint32_t TStream::ReadUInt32LE()
{
    uint8_t bytes[4];
    ReadBuffer(bytes, 4);
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

void TStream::WriteUInt16LE(uint16_t value)
{
    const uint8_t bytes[2] = {uint8_t(value), uint8_t(value >> 8)};
    WriteBuffer(bytes, 2);
}

void TStream::WriteUInt32LE(uint32_t value)
{
    const uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                              uint8_t(value >> 24)};
    WriteBuffer(bytes, 4);
}

// --- TFileStream -------------------------------------------------------------------------

namespace {

std::FILE* OpenFile(const std::string& fileName, TFileMode mode)
{
    if (mode == TFileMode::OpenRead) {
        // A folder opens fine with fopen on Linux but cannot be read; refuse it here.
        struct stat info
        {};
        if (::stat(fileName.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
            throw EFOpenError(FormatMessage(TMessage::FileOpenError, {fileName}));
        }
        std::FILE* file = std::fopen(fileName.c_str(), "rb");
        if (file == nullptr) {
            throw EFOpenError(FormatMessage(TMessage::FileOpenError, {fileName}));
        }
        return file;
    }
    std::FILE* file = std::fopen(fileName.c_str(), "w+b");
    if (file == nullptr) {
        throw EFCreateError(FormatMessage(TMessage::FileCreateError, {fileName}));
    }
    return file;
}

} // namespace

TFileStream::TFileStream(const std::string& fileName, TFileMode mode)
    : m_fileName(fileName), m_file(OpenFile(fileName, mode))
{
    std::setvbuf(m_file, nullptr, _IOFBF, 1 << 16);
}

TFileStream::TFileStream(const std::string& fileName, std::FILE* file)
    : m_fileName(fileName), m_file(file)
{
    std::setvbuf(m_file, nullptr, _IOFBF, 1 << 16);
}

TFileStream::~TFileStream()
{
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

size_t TFileStream::Read(void* buffer, size_t count)
{
    return m_file == nullptr ? 0 : std::fread(buffer, 1, count, m_file);
}

size_t TFileStream::Write(const void* buffer, size_t count)
{
    return m_file == nullptr ? 0 : std::fwrite(buffer, 1, count, m_file);
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin)
{
    if (m_file == nullptr) {
        return 0;
    }
    const int whence = origin == TSeekOrigin::Beginning ? SEEK_SET
                       : origin == TSeekOrigin::Current ? SEEK_CUR
                                                        : SEEK_END;
    if (!(origin == TSeekOrigin::Current && offset == 0)) {
        ::fseeko(m_file, off_t(offset), whence);
    }
    return int64_t(::ftello(m_file));
}

void TFileStream::Close()
{
    if (m_file == nullptr) {
        return;
    }
    std::FILE* file = m_file;
    m_file = nullptr;
    const bool flushed = std::fflush(file) == 0 && std::ferror(file) == 0;
    const bool closed = std::fclose(file) == 0;
    if (!flushed || !closed) {
        throw EWriteError(FormatMessage(TMessage::WriteError));
    }
}

// --- TAtomicFileStream ---------------------------------------------------------------------

namespace {

// Permission bits for the new file: those of the file it replaces, else what a plain create
// would give (0666 less the umask).
mode_t PermissionsFor(const std::string& fileName)
{
    struct stat info
    {};
    if (::stat(fileName.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        return info.st_mode & 07777;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

TAtomicFileStream::TTemporary TAtomicFileStream::CreateTemporary(const std::string& fileName)
{
    const size_t slash = fileName.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : fileName.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    std::string pattern = folder + "." + base + ".kapto-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemp(buffer.data());
    if (fd < 0) {
        throw EFCreateError(FormatMessage(TMessage::FileCreateError, {fileName}));
    }
    const std::string temporaryName = buffer.data();
    ::fchmod(fd, PermissionsFor(fileName));
    std::FILE* file = ::fdopen(fd, "w+b");
    if (file == nullptr) {
        ::close(fd);
        ::unlink(temporaryName.c_str());
        throw EFCreateError(FormatMessage(TMessage::FileCreateError, {fileName}));
    }
    return {file, temporaryName};
}

TAtomicFileStream::TAtomicFileStream(const std::string& fileName)
    : TAtomicFileStream(fileName, CreateTemporary(fileName))
{}

TAtomicFileStream::TAtomicFileStream(const std::string& fileName, TTemporary temporary)
    : TFileStream(fileName, temporary.File), m_temporaryName(std::move(temporary.Name))
{}

TAtomicFileStream::~TAtomicFileStream()
{
    if (!m_committed) {
        try {
            Close();
        } catch (const Exception&) {
            // The temporary file is removed below; the save already failed.
        }
        ::unlink(m_temporaryName.c_str());
    }
}

void TAtomicFileStream::Commit()
{
    try {
        Close();
    } catch (const Exception&) {
        ::unlink(m_temporaryName.c_str());
        m_committed = true;
        throw;
    }
    m_committed = true;
    if (std::rename(m_temporaryName.c_str(), FileName().c_str()) != 0) {
        ::unlink(m_temporaryName.c_str());
        throw EFCreateError(FormatMessage(TMessage::FileCreateError, {FileName()}));
    }
}

// --- TMemoryStream -------------------------------------------------------------------------

size_t TMemoryStream::Read(void* buffer, size_t count)
{
    const size_t available = m_position < m_bytes.size() ? m_bytes.size() - m_position : 0;
    const size_t n = std::min(count, available);
    if (n != 0) {
        std::memcpy(buffer, m_bytes.data() + m_position, n);
    }
    m_position += n;
    return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count)
{
    if (count == 0) {
        return 0;
    }
    if (m_position + count > m_bytes.size()) {
        m_bytes.resize(m_position + count);
    }
    std::memcpy(m_bytes.data() + m_position, buffer, count);
    m_position += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    const int64_t base = origin == TSeekOrigin::Beginning ? 0
                         : origin == TSeekOrigin::Current ? int64_t(m_position)
                                                          : int64_t(m_bytes.size());
    const int64_t target = base + offset;
    m_position = target < 0 ? 0 : size_t(target);
    return int64_t(m_position);
}

void TMemoryStream::Clear()
{
    m_bytes.clear();
    m_position = 0;
}

} // namespace kapto

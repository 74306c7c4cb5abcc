#include "runtime/Stream.h"

#include "runtime/Exceptions.h"
#include "runtime/Messages.h"

#include <acl/libacl.h>
#include <fcntl.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <thread>
#include <utility>

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
        throw EReadError(FormatMessage(TMessage::ReadError), SystemError());
    }
}

void TStream::WriteBuffer(const void* buffer, size_t count)
{
    if (count != 0 && Write(buffer, count) != count) {
        throw EWriteError(FormatMessage(TMessage::WriteError), SystemError());
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
        // Only regular files are read. A folder opens fine on Linux but cannot be read; a FIFO
        // would block until a writer comes, and a device or socket is no picture. The check
        // is made again on what was opened, without blocking, in case the name changed.
        struct stat info
        {};
        const std::string message = FormatMessage(TMessage::FileOpenError, {fileName});
        if (::stat(fileName.c_str(), &info) != 0) {
            throw EFOpenError(message, errno);
        }
        if (!S_ISREG(info.st_mode)) {
            throw EFOpenError(message, S_ISDIR(info.st_mode) ? EISDIR : 0);
        }
        const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        std::FILE* file = nullptr;
        if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0) {
            file = ::fdopen(fd, "rb");
        }
        if (file == nullptr) {
            // A name that has become something else than a file has no system error.
            const int error = fd >= 0 && !S_ISREG(info.st_mode) ? 0 : errno;
            if (fd >= 0) {
                ::close(fd);
            }
            throw EFOpenError(message, error);
        }
        return file;
    }
    std::FILE* file = std::fopen(fileName.c_str(), "w+b");
    if (file == nullptr) {
        const int error = errno;
        throw EFCreateError(FormatMessage(TMessage::FileCreateError, {fileName}), error);
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

void TFileStream::NoteError()
{
    if (std::ferror(m_file) != 0) {
        m_systemError = errno;
    }
}

size_t TFileStream::Read(void* buffer, size_t count)
{
    if (m_file == nullptr) {
        return 0;
    }
    const size_t done = std::fread(buffer, 1, count, m_file);
    if (done < count) {
        NoteError();
    }
    return done;
}

size_t TFileStream::Write(const void* buffer, size_t count)
{
    if (m_file == nullptr) {
        return 0;
    }
    const size_t done = std::fwrite(buffer, 1, count, m_file);
    if (done < count) {
        NoteError();
    }
    return done;
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

void TFileStream::SyncToDisk()
{
    if (m_file == nullptr) {
        return;
    }
    Flush();
    // Some file systems cannot sync; their data is as safe as they make it.
    if (::fsync(::fileno(m_file)) != 0 && errno != EINVAL && errno != EROFS) {
        const int error = errno;
        throw EWriteError(FormatMessage(TMessage::WriteError), error);
    }
}

void TFileStream::Flush()
{
    if (m_file == nullptr) {
        return;
    }
    if (std::fflush(m_file) != 0) {
        const int error = errno;
        throw EWriteError(FormatMessage(TMessage::WriteError), error);
    }
    // An earlier write failed; its error is the reason.
    if (std::ferror(m_file) != 0) {
        throw EWriteError(FormatMessage(TMessage::WriteError), m_systemError);
    }
}

int TFileStream::Descriptor() const
{
    return m_file == nullptr ? -1 : ::fileno(m_file);
}

void TFileStream::Close()
{
    if (m_file == nullptr) {
        return;
    }
    std::FILE* file = m_file;
    m_file = nullptr;
    const bool flushed = std::fflush(file) == 0;
    int error = flushed ? m_systemError : errno;
    const bool clean = flushed && std::ferror(file) == 0;
    const bool closed = std::fclose(file) == 0;
    if (clean && !closed) {
        error = errno;
    }
    if (!clean || !closed) {
        throw EWriteError(FormatMessage(TMessage::WriteError), error);
    }
}

// --- TAtomicFileStream ---------------------------------------------------------------------

namespace {

// The temporary files of the saves in flight, so that an interrupted process can remove
// them. A temporary file is entered under the lock in the same step that creates it, and
// leaves in the same step that renames or removes it.
struct TTemporaryFiles
{
    std::mutex Mutex;
    std::vector<std::pair<int, std::string>> Names; // the folder's descriptor, the name in it

    void Forget(int folder, const std::string& name)
    {
        Names.erase(std::remove(Names.begin(), Names.end(), std::make_pair(folder, name)),
                    Names.end());
    }
};

TTemporaryFiles& TemporaryFiles()
{
    static TTemporaryFiles files;
    return files;
}

TAtomicFileStream::TStepObserver g_stepObserver = nullptr;

void Observe(TAtomicFileStream::TStep step)
{
    if (g_stepObserver != nullptr) {
        g_stepObserver(step);
    }
}

// The longest name the folder takes; 255 where the system does not say.
size_t NameLimit(int folder)
{
    const long limit = ::fpathconf(folder, _PC_NAME_MAX);
    return limit > 0 ? size_t(limit) : 255;
}

// Six characters for a temporary name that no other save picks at the same time.
std::string RandomSuffix()
{
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 generator(
        std::random_device{}() ^
        uint64_t(std::hash<std::thread::id>{}(std::this_thread::get_id())));
    std::string suffix;
    for (int i = 0; i < 6; ++i) {
        suffix += kLetters[generator() % (sizeof kLetters - 1)];
    }
    return suffix;
}

// The start of base cut to at most size bytes, never inside a UTF-8 sequence.
std::string CutName(const std::string& base, size_t size)
{
    if (base.size() <= size) {
        return base;
    }
    size_t start = size;
    while (start > 0 && (uint8_t(base[start - 1]) & 0xC0) == 0x80) {
        --start;
    }
    if (start > 0 && (uint8_t(base[start - 1]) & 0x80) != 0) {
        const uint8_t lead = uint8_t(base[start - 1]);
        const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (start - 1 + length > size) {
            return base.substr(0, start - 1);
        }
    }
    return base.substr(0, size);
}

// The process's umask, read without changing it where the system tells (changing it for a
// moment would give a folder made meanwhile on another thread the wrong permissions).
mode_t CurrentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            return mode_t(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
        }
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// A file that replaces nothing takes the read and write bits it is given less the umask, as
// a copy does: the output of a private picture stays private.
void GiveNewFileMode(int fd, unsigned newFileMode)
{
    ::fchmod(fd, mode_t(newFileMode) & 0666 & ~CurrentUmask());
}

// The access control list and the extended attributes of the replaced file, from its
// descriptor where it can be read, else through the folder's. A list equal to the permission
// bits adds nothing; a file system without lists or attributes keeps what the bits say. The
// list is set after the bits, so the group entry comes back from the list, not its mask.
void CopyAccessList(int fd, int folder, const std::string& name)
{
    const int old = ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    const std::string path = "/proc/self/fd/" + std::to_string(folder) + "/" + name;
    acl_t acl = old >= 0 ? acl_get_fd(old) : acl_get_file(path.c_str(), ACL_TYPE_ACCESS);
    if (acl != nullptr) {
        if (acl_equiv_mode(acl, nullptr) != 0) {
            acl_set_fd(fd, acl);
        }
        acl_free(acl);
    }
    const ssize_t size =
        old >= 0 ? ::flistxattr(old, nullptr, 0) : ::llistxattr(path.c_str(), nullptr, 0);
    std::vector<char> names(size > 0 ? size_t(size) : 0);
    const ssize_t listed = names.empty() ? 0
                           : old >= 0    ? ::flistxattr(old, names.data(), names.size())
                                         : ::llistxattr(path.c_str(), names.data(), names.size());
    for (size_t at = 0; listed > 0 && at < size_t(listed);) {
        const std::string attribute = names.data() + at;
        at += attribute.size() + 1;
        // The lists themselves were copied above, through their library.
        if (attribute.rfind("system.posix_acl_", 0) == 0) {
            continue;
        }
        std::vector<char> value(65536);
        const ssize_t length =
            old >= 0 ? ::fgetxattr(old, attribute.c_str(), value.data(), value.size())
                     : ::lgetxattr(path.c_str(), attribute.c_str(), value.data(), value.size());
        if (length >= 0) {
            ::fsetxattr(fd, attribute.c_str(), value.data(), size_t(length), 0);
        }
    }
    if (old >= 0) {
        ::close(old);
    }
}

// Gives the new file what the file it replaces had. Only a regular file is asked, never
// what a link points to: a link to a set-uid file in a shared folder must not make a
// world-writable set-uid file. Set-id and sticky bits are never carried over. The owner and
// group are kept where the process may set them; otherwise the new file is the process's.
// With no regular file to replace, the file is a new one.
void GiveReplacedAttributes(int fd, int folder, const std::string& name, unsigned newFileMode)
{
    struct stat info
    {};
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode)) {
        GiveNewFileMode(fd, newFileMode);
        return;
    }
    if (::fchown(fd, info.st_uid, info.st_gid) != 0 && ::fchown(fd, uid_t(-1), info.st_gid) != 0) {
        // Neither: the process's own owner and group stay.
    }
    ::fchmod(fd, info.st_mode & 0777);
    CopyAccessList(fd, folder, name);
}

enum class TRenameResult
{
    Placed,
    Taken,
    Failed
};

// Renames only where the new name is free, in one step, so that a file another program
// made there meanwhile is never replaced. A file system that cannot do that in one step
// gets a second name for the file, which also fails on a taken name, and the first dropped.
TRenameResult RenameNoReplace(int folder, const std::string& from, const std::string& to)
{
    if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) {
        return TRenameResult::Placed;
    }
    if (errno == EEXIST) {
        return TRenameResult::Taken;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        return TRenameResult::Failed;
    }
    if (::linkat(folder, from.c_str(), folder, to.c_str(), 0) == 0) {
        ::unlinkat(folder, from.c_str(), 0);
        return TRenameResult::Placed;
    }
    return errno == EEXIST ? TRenameResult::Taken : TRenameResult::Failed;
}

// A regular file the user may not write is not replaced, as a read-only file could not be
// overwritten where saving in place was the only way. Renaming over it would succeed.
// Returns 0, or the reason it may not be replaced.
int ReplaceRefused(int folder, const std::string& name)
{
    struct stat info
    {};
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode) || ::faccessat(folder, name.c_str(), W_OK, AT_EACCESS) == 0) {
        return 0;
    }
    return errno;
}

std::string FolderOf(const std::string& fileName)
{
    const size_t slash = fileName.rfind('/');
    return slash == std::string::npos ? "" : fileName.substr(0, slash + 1);
}

std::string BaseOf(const std::string& fileName)
{
    return fileName.substr(FolderOf(fileName).size());
}

} // namespace

void TAtomicFileStream::SetStepObserver(TStepObserver observer)
{
    g_stepObserver = observer;
}

void TAtomicFileStream::RemoveTemporaryFilesForExit()
{
    TTemporaryFiles& files = TemporaryFiles();
    // Never unlocked: no save may start or finish in the moments before the process ends.
    files.Mutex.lock();
    for (const auto& [folder, name] : files.Names) {
        ::unlinkat(folder, name.c_str(), 0);
    }
    files.Names.clear();
}

TAtomicFileStream::TTemporary TAtomicFileStream::CreateTemporary(int folder,
                                                                 const std::string& fileName)
{
    const int own = folder >= 0
                        ? ::fcntl(folder, F_DUPFD_CLOEXEC, 0)
                        : ::open(FolderOf(fileName).empty() ? "." : FolderOf(fileName).c_str(),
                                 O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::string base = BaseOf(fileName);
    const int refused = own < 0 ? errno : ReplaceRefused(own, base);
    if (refused != 0) {
        if (own >= 0) {
            ::close(own);
        }
        throw EFCreateError(FormatMessage(TMessage::FileCreateError, {fileName}), refused);
    }
    // The temporary name borrows as much of the target's name as the folder's name limit
    // leaves beside the dot and the random suffix.
    const std::string suffix = ".kapto-XXXXXX";
    const size_t room = NameLimit(own) - std::min(NameLimit(own), suffix.size() + 1);
    const std::string prefix = "." + CutName(base, room) + ".kapto-";
    TTemporaryFiles& files = TemporaryFiles();
    std::unique_lock<std::mutex> lock(files.Mutex);
    std::string name;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        name = prefix + RandomSuffix();
        fd = ::openat(own, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        const int error = errno;
        ::close(own);
        throw EFCreateError(FormatMessage(TMessage::FileCreateError, {fileName}), error);
    }
    files.Names.emplace_back(own, name);
    lock.unlock();
    std::FILE* file = ::fdopen(fd, "w+b");
    if (file == nullptr) {
        const int error = errno;
        ::close(fd);
        lock.lock();
        ::unlinkat(own, name.c_str(), 0);
        files.Forget(own, name);
        ::close(own);
        throw EFCreateError(FormatMessage(TMessage::FileCreateError, {fileName}), error);
    }
    return {file, own, name};
}

TAtomicFileStream::TAtomicFileStream(const std::string& fileName, unsigned newFileMode)
    : TAtomicFileStream(-1, fileName, newFileMode)
{}

TAtomicFileStream::TAtomicFileStream(int folder, const std::string& fileName, unsigned newFileMode)
    : TAtomicFileStream(fileName, CreateTemporary(folder, fileName), newFileMode)
{}

TAtomicFileStream::TAtomicFileStream(const std::string& fileName, TTemporary temporary,
                                     unsigned newFileMode)
    : TFileStream(fileName, temporary.File), m_folder(temporary.Folder),
      m_temporaryName(std::move(temporary.Name)), m_newFileMode(newFileMode)
{}

TAtomicFileStream::~TAtomicFileStream()
{
    if (!m_committed) {
        try {
            Close();
        } catch (const Exception&) {
            // The temporary file is removed below; the save already failed.
        }
        Discard();
    }
    ::close(m_folder);
}

void TAtomicFileStream::Discard()
{
    TTemporaryFiles& files = TemporaryFiles();
    std::lock_guard<std::mutex> guard(files.Mutex);
    ::unlinkat(m_folder, m_temporaryName.c_str(), 0);
    files.Forget(m_folder, m_temporaryName);
    m_committed = true;
}

void TAtomicFileStream::Commit()
{
    Place(FileName(), true);
}

bool TAtomicFileStream::CommitNew(const std::string& name)
{
    return Place(name, false);
}

bool TAtomicFileStream::Place(const std::string& fileName, bool replace)
{
    const std::string name = BaseOf(fileName);
    // The data and the permissions reach the disk before the name does: after a power loss
    // the target holds either its old bytes or all of the new ones, never an empty file.
    try {
        Flush();
        if (replace) {
            // Asked again here: the file may have come or changed since the save began.
            if (const int refused = ReplaceRefused(m_folder, name)) {
                throw EFCreateError(FormatMessage(TMessage::FileCreateError, {fileName}), refused);
            }
            GiveReplacedAttributes(Descriptor(), m_folder, name, m_newFileMode);
        } else {
            GiveNewFileMode(Descriptor(), m_newFileMode);
        }
        SyncToDisk();
        Observe(TStep::SyncFile);
    } catch (const Exception&) {
        Discard();
        throw;
    }
    {
        TTemporaryFiles& files = TemporaryFiles();
        std::lock_guard<std::mutex> guard(files.Mutex);
        Observe(TStep::Rename);
        const TRenameResult result =
            replace ? (::renameat(m_folder, m_temporaryName.c_str(), m_folder, name.c_str()) == 0
                           ? TRenameResult::Placed
                           : TRenameResult::Failed)
                    : RenameNoReplace(m_folder, m_temporaryName, name);
        const int renameError = errno;
        if (result == TRenameResult::Taken) {
            return false;
        }
        if (result == TRenameResult::Failed) {
            ::unlinkat(m_folder, m_temporaryName.c_str(), 0);
        }
        files.Forget(m_folder, m_temporaryName);
        m_committed = true;
        if (result == TRenameResult::Failed) {
            throw EFCreateError(FormatMessage(TMessage::FileCreateError, {fileName}), renameError);
        }
    }
    try {
        Close();
    } catch (const Exception&) {
        // The data was synced before the rename; closing has nothing left to lose.
    }
    // Makes the rename itself survive a power loss.
    ::fsync(m_folder);
    Observe(TStep::SyncFolder);
    return true;
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

#include "app/OutputFolders.h"

#include "runtime/Exceptions.h"
#include "runtime/Messages.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace kapto {

namespace {

// Makes the folders of a path that do not exist yet, from its start.
void MakePath(const std::string& path, const std::string& outputName)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
            const int error = errno;
            throw EFCreateError(FormatMessage(TMessage::FileCreateError, {outputName}), error);
        }
    }
}

// The folder names between root and the file name of the output.
std::vector<std::string> FoldersBelow(const std::string& root, const std::string& outputName)
{
    std::vector<std::string> names;
    size_t start = outputName.compare(0, root.size(), root) == 0 ? root.size() : 0;
    for (size_t slash = outputName.find('/', start); slash != std::string::npos;
         slash = outputName.find('/', start)) {
        if (slash > start) {
            names.push_back(outputName.substr(start, slash - start));
        }
        start = slash + 1;
    }
    return names;
}

TOpenFolder WalkFolders(const std::string& root, const std::string& outputName, bool make)
{
    if (root.empty()) {
        if (make) {
            MakePath(outputName, outputName);
        }
        return TOpenFolder();
    }
    if (make) {
        MakePath(root + "/", outputName);
    }
    TOpenFolder folder(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Fd() < 0) {
        if (!make && errno == ENOENT) {
            return folder;
        }
        const int error = errno;
        throw EFCreateError(FormatMessage(TMessage::FileCreateError, {outputName}), error);
    }
    std::string walked = root;
    for (const std::string& name : FoldersBelow(root, outputName)) {
        walked += (walked.empty() || walked.back() == '/' ? "" : "/") + name;
        const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        int next = ::openat(folder.Fd(), name.c_str(), flags);
        if (next < 0 && errno == ENOENT) {
            if (!make) {
                return TOpenFolder(); // the run makes the rest
            }
            if (::mkdirat(folder.Fd(), name.c_str(), 0777) != 0 && errno != EEXIST) {
                const int error = errno;
                throw EFCreateError(FormatMessage(TMessage::FileCreateError, {outputName}), error);
            }
            next = ::openat(folder.Fd(), name.c_str(), flags);
        }
        if (next < 0) {
            const int error = errno;
            struct stat info
            {};
            const bool link =
                ::fstatat(folder.Fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(info.st_mode);
            if (link) {
                throw EFCreateError(FormatMessage(TMessage::LinkInOutputFolder, {walked}));
            }
            throw EFCreateError(FormatMessage(TMessage::FileCreateError, {outputName}), error);
        }
        folder = TOpenFolder(next);
    }
    return folder;
}

} // namespace

TOpenFolder::~TOpenFolder()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

TOpenFolder& TOpenFolder::operator=(TOpenFolder&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

TOpenFolder MakeOutputFolders(const std::string& root, const std::string& outputName)
{
    return WalkFolders(root, outputName, true);
}

std::string OutputFolderProblem(const std::string& root, const std::string& outputName)
{
    try {
        WalkFolders(root, outputName, false);
    } catch (const Exception& e) {
        return e.Message();
    }
    return "";
}

} // namespace kapto

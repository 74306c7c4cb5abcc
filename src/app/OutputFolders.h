#pragma once
// The folders below an output folder (--out-dir): made as outputs need them, and never
// entered through a link, so that no output leaves the folder the user named.

#include <string>

namespace kapto {

// An open folder, closed with its owner; -1: none.
class TOpenFolder
{
public:
    explicit TOpenFolder(int fd = -1) : m_fd(fd) {}
    ~TOpenFolder();
    TOpenFolder(TOpenFolder&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    TOpenFolder& operator=(TOpenFolder&& other) noexcept;
    TOpenFolder(const TOpenFolder&) = delete;
    TOpenFolder& operator=(const TOpenFolder&) = delete;

    int Fd() const { return m_fd; }

private:
    int m_fd;
};

// Makes the folders between root and the output name that do not exist yet, walking down
// from root's own descriptor without following links. root itself is made when missing and
// may be a link, as the user named it; an empty root makes the folders of the name as they
// are. Returns the output's folder, open (none with an empty root), for the save to be made
// in it whatever its path leads to meanwhile. Raises EFCreateError: naming the link when one
// stands on the way, else naming the output.
TOpenFolder MakeOutputFolders(const std::string& root, const std::string& outputName);

// What MakeOutputFolders would raise for the output, as its message, without making
// anything; empty when nothing stands on the way.
std::string OutputFolderProblem(const std::string& root, const std::string& outputName);

} // namespace kapto

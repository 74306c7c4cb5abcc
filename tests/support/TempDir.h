#pragma once
// Test helpers: a temporary folder removed at the end of the test, and whole-file reads
// and writes.

#include <cstdint>
#include <string>
#include <vector>

class TTempDir
{
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Root() const { return m_root; }
    // The full name of a path inside the folder.
    std::string Path(const std::string& relative) const;
    // The names in the folder (not recursive), sorted.
    std::vector<std::string> Entries(const std::string& relative = "") const;

private:
    std::string m_root;
};

std::vector<uint8_t> ReadFileBytes(const std::string& fileName);
// The file's bytes as a string, as a program's output is compared.
std::string ReadFileText(const std::string& fileName);
void WriteFileBytes(const std::string& fileName, const std::vector<uint8_t>& bytes);
bool FileExists(const std::string& fileName);
// The folder of the test images copied into the repository.
std::string TestDataPath(const std::string& relative);

#include "support/TempDir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

TTempDir::TTempDir()
{
    std::string pattern = (fs::temp_directory_path() / "kapto-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    m_root = pattern;
}

TTempDir::~TTempDir()
{
    std::error_code ignored;
    fs::permissions(m_root, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(m_root, ignored);
}

std::string TTempDir::Path(const std::string& relative) const
{
    return m_root + "/" + relative;
}

std::vector<std::string> TTempDir::Entries(const std::string& relative) const
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Path(relative))) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> ReadFileBytes(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + fileName);
    }
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string ReadFileText(const std::string& fileName)
{
    const std::vector<uint8_t> bytes = ReadFileBytes(fileName);
    return std::string(bytes.begin(), bytes.end());
}

void WriteFileBytes(const std::string& fileName, const std::vector<uint8_t>& bytes)
{
    fs::create_directories(fs::path(fileName).parent_path());
    std::ofstream out(fileName, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + fileName);
    }
}

bool FileExists(const std::string& fileName)
{
    return fs::exists(fileName);
}

std::string TestDataPath(const std::string& relative)
{
    return std::string(KAPTO_TEST_DATA) + "/" + relative;
}

#pragma once
// Slices of a batch: the paths of a file list, the outputs' places relative to a base folder,
// and the shard a source belongs to, so that several processes share one batch.

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace kapto {

// The entries of a file list: one per line, or each ending with a NUL when nulTerminated
// (the last may lack its terminator). Empty entries are passed over.
std::vector<std::string> ReadFileList(std::istream& in, bool nulTerminated);

// The path made absolute against the working folder, with "." and empty components dropped
// and ".." taking back the component before it, by name alone: no link is followed.
std::string NormalPath(const std::string& path);

// The name of path relative to folder, both taken as NormalPath gives them; false when path
// does not lie under folder.
bool RelativeTo(const std::string& folder, const std::string& path, std::string& relative);

// Appends the entries of the file list fileName ("-": standard input) to paths; false, with
// a line on standard error, when it cannot be read.
bool AppendFileList(const std::string& fileName, bool nulTerminated,
                    std::vector<std::string>& paths);

// Places every file at outputFolder + "/" + its path relative to base. Returns the first
// file that does not lie under base (and places nothing), or empty.
std::string PlaceUnderBase(const std::string& base, const std::string& outputFolder,
                           const std::vector<std::string>& files, std::vector<std::string>& places);

// Keeps the files (and their places, where there are any) of shard index of count.
void KeepShard(int index, int count, const std::string& extension, const std::string& outputFolder,
               std::vector<std::string>& files, std::vector<std::string>& places);

// FNV-1a, 64 bits, of the bytes of text.
uint64_t Fnv1a64(const std::string& text);

// The key that decides a source's shard: the folder of its output (relative to outputFolder
// when there is one, else as written, with "." and empty components dropped) + "/" + the
// output's name without its extension and without every trailing "-NN" (a dash and two
// digits). Every name a source may write (the output, its numbered names) has the source's
// key, and so has every source that may write that name.
std::string ShardKey(const std::string& outputName, const std::string& extension,
                     const std::string& outputFolder);

// Whether the key falls in shard index of count (1 <= index <= count): FNV-1a 64 of the
// key, modulo count, is index - 1.
bool InShard(const std::string& key, int index, int count);

} // namespace kapto

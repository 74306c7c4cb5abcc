#pragma once
// The folders below an output folder (--out-dir): made as outputs need them, and never
// entered through a link, so that no output leaves the folder the user named.

#include <string>

namespace kapto {

// Makes the folders between root and the output name that do not exist yet, walking down
// from root's own descriptor without following links. root itself is made when missing and
// may be a link, as the user named it; an empty root makes the folders of the name as they
// are. Raises EFCreateError: naming the link when one stands
// on the way, else naming the output.
void MakeOutputFolders(const std::string& root, const std::string& outputName);

// What MakeOutputFolders would raise for the output, as its message, without making
// anything; empty when nothing stands on the way.
std::string OutputFolderProblem(const std::string& root, const std::string& outputName);

} // namespace kapto

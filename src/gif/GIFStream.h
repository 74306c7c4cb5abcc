#pragma once
// Checked reads of GIF data: every fixed-size read either returns its bytes or raises
// GIFException "Premature end of data"; optional single bytes report whether one was there.

#include "runtime/Stream.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kapto {

// Reads exactly count bytes or raises "Premature end of data".
void ReadCheck(TStream& stream, void* buffer, size_t count);
// Reads one byte or raises "Premature end of data".
uint8_t ReadCheckByte(TStream& stream);
// Reads one byte into value; false at the end of the stream.
bool ReadOptionalByte(TStream& stream, uint8_t& value);
// Moves back over the byte just read, so that the next reader sees it again.
void StepBack(TStream& stream);
// Moves forward by count bytes, or raises "Premature end of data" when fewer remain.
void SkipCheck(TStream& stream, uint64_t count);
// Reads data sub-blocks up to the zero-length terminator (or the end of the stream), one
// string per sub-block, each ending at its first zero byte.
// Counts the sub-blocks of one extension as they are kept. An extension larger than
// kLargestKeptBlock in all is passed over whole: comments and application data are never
// needed for the picture, and keeping them would let memory follow the file's size. What is
// kept is charged to the memory budget.
class TKeptBlocks
{
public:
    // Whether the extension, grown by size bytes, may still be kept.
    bool Keep(uint64_t size);

private:
    static constexpr uint64_t kChargeStep = 65536;
    uint64_t m_total = 0;
    uint64_t m_charged = 0;
};

void ReadStrings(TStream& stream, std::vector<std::string>& list);

} // namespace kapto

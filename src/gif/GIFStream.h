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
void ReadStrings(TStream& stream, std::vector<std::string>& list);

} // namespace kapto

// Checked reads of GIF data: fixed-size reads, optional single bytes and data sub-blocks.

#include "gif/GIFStream.h"

#include "gif/GIFErrors.h"
#include "platform/MemoryBudget.h"

#include <algorithm>

namespace kapto {

void ReadCheck(TStream& stream, void* buffer, size_t count)
{
    if (count != 0 && stream.Read(buffer, count) != count) {
        RaiseGIF(TGIFMessage::PrematureEnd);
    }
}

uint8_t ReadCheckByte(TStream& stream)
{
    uint8_t value = 0;
    ReadCheck(stream, &value, 1);
    return value;
}

bool ReadOptionalByte(TStream& stream, uint8_t& value)
{
    return stream.Read(&value, 1) == 1;
}

void StepBack(TStream& stream)
{
    stream.Seek(-1, TSeekOrigin::Current);
}

void SkipCheck(TStream& stream, uint64_t count)
{
    if (count == 0) {
        return;
    }
    if (stream.Remaining() < count) {
        stream.Seek(0, TSeekOrigin::End);
        RaiseGIF(TGIFMessage::PrematureEnd);
    }
    stream.Seek(int64_t(count), TSeekOrigin::Current);
}

void ReadStrings(TStream& stream, std::vector<std::string>& list)
{
    list.clear();
    TKeptBlocks kept;
    uint8_t size = 0;
    if (!ReadOptionalByte(stream, size)) {
        return;
    }
    while (size != 0) {
        char bytes[255];
        ReadCheck(stream, bytes, size);
        if (kept.Keep(size)) {
            list.emplace_back(bytes, std::find(bytes, bytes + size, '\0'));
        } else {
            list.clear();
        }
        if (!ReadOptionalByte(stream, size)) {
            return;
        }
    }
}

bool TKeptBlocks::Keep(uint64_t size)
{
    m_total += size;
    if (m_total > kLargestKeptBlock) {
        return false;
    }
    // The budget is charged in steps, not for every sub-block of at most 255 bytes.
    while (m_charged < m_total) {
        ChargePixelMemory(kChargeStep);
        m_charged += kChargeStep;
    }
    return true;
}

} // namespace kapto

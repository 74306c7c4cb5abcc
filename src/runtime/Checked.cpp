// The image byte limit every decoder and the pixel buffers apply.
#include "runtime/Checked.h"

#include "runtime/Exceptions.h"
#include "runtime/Messages.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>

namespace kapto {

namespace {

std::atomic<uint64_t>& ImageByteLimitStore()
{
    static std::atomic<uint64_t> limit{ImageByteLimitForBudget(DefaultMemoryLimit())};
    return limit;
}

} // namespace

uint64_t DefaultMemoryLimit()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    const uint64_t half =
        pages > 0 && pageSize > 0 ? uint64_t(pages) * uint64_t(pageSize) / 2 : uint64_t(1) << 30;
    return std::min(half, uint64_t(4) << 30);
}

uint64_t ImageByteLimitForBudget(uint64_t budget)
{
    return std::max(budget, kMinImageByteLimit);
}

uint64_t ImageByteLimit()
{
    return ImageByteLimitStore().load();
}

void SetImageByteLimit(uint64_t bytes)
{
    ImageByteLimitStore().store(bytes);
}

void RaisePictureTooLarge(int64_t width, int64_t height, uint64_t bytes)
{
    constexpr uint64_t kMiB = uint64_t(1) << 20;
    throw EPictureTooLarge(
        FormatMessage(TMessage::PictureTooLarge, {std::to_string(width), std::to_string(height),
                                                  std::to_string((bytes + kMiB - 1) / kMiB),
                                                  std::to_string(ImageByteLimit() / kMiB)}));
}

} // namespace kapto

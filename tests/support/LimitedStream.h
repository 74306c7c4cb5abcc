#pragma once
// A memory stream that takes only its first bytes, as a full disk does.

#include "runtime/Stream.h"

#include <algorithm>
#include <cstddef>

class TLimitedStream : public kapto::TMemoryStream
{
public:
    explicit TLimitedStream(size_t limit) : m_limit(limit) {}
    size_t Write(const void* buffer, size_t count) override
    {
        const size_t room = m_limit - std::min(m_limit, size_t(Size()));
        return kapto::TMemoryStream::Write(buffer, std::min(count, room));
    }

private:
    size_t m_limit;
};

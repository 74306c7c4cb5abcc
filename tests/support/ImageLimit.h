#pragma once
// A test's own largest pixel buffer, so that refusals do not depend on the machine's memory.

#include "runtime/Checked.h"

#include <cstdint>

class TImageByteLimitScope
{
public:
    explicit TImageByteLimitScope(uint64_t bytes) : m_previous(kapto::ImageByteLimit())
    {
        kapto::SetImageByteLimit(bytes);
    }
    ~TImageByteLimitScope() { kapto::SetImageByteLimit(m_previous); }
    TImageByteLimitScope(const TImageByteLimitScope&) = delete;
    TImageByteLimitScope& operator=(const TImageByteLimitScope&) = delete;

private:
    uint64_t m_previous;
};

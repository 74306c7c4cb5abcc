#pragma once
// The bytes a picture writes, kept in memory.

#include "png/PNGObject.h"
#include "runtime/Stream.h"

#include <cstdint>
#include <vector>

inline std::vector<uint8_t> SavedBytes(kapto::TPNGObject& png)
{
    kapto::TMemoryStream stream;
    png.SaveToStream(stream);
    return stream.Bytes();
}

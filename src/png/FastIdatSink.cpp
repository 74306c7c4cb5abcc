// The fast profile of a picture's image data: libdeflate on fixed segments, on every core.
#include "png/ImageDataSinks.h"

#include "png/Deflater.h"
#include "png/PNGErrors.h"
#include "png/Zlib.h"
#include "runtime/Stream.h"
#include "runtime/Threads.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace kapto {

namespace {

// The fast profile: libdeflate on fixed 256 KiB segments of the filtered data, each on a
// thread of its own while the caller filters the rows of the next, joined behind one zlib
// header and closed with the Adler-32 of all the data. Segments start at fixed offsets, so the
// bytes do not depend on the number of threads. Memory: threads + 1 slots, each one segment,
// its compressed copy and a compressor (about 330 KiB): about 1 MiB per thread. A 24-megapixel
// RGB conversion then peaks at 2.11 times its 24-bit image on 2 threads and 2.41 on 24; with
// an alpha plane, which alone brings the default run to 2.40, at 2.45 and 2.80.
//
// libdeflate cannot be primed with the 32 KiB before a segment, as the zlib segments are: a
// segment's first matches cannot reach into the one before. That costs about 0.25 % of the
// size on a photo (level 6 on a 24-megapixel picture's rows: 25 225 950 bytes in segments
// against 25 163 826 in one call; 1 MiB segments would save 0.2 % of that, at four times
// the memory per thread), where zlib's primed 1 MiB segments lose under 0.01 %.
//
// A picture whose filtered data fits in one segment is compressed at libdeflate's strongest
// level instead: level 6 left small graphics up to a third larger than the default profile's
// zlib level 7 (icons of a few KiB, where every match and code length counts), and the
// strongest level costs a few milliseconds at that size.
class TFastIdatSink : public TImageDataSink
{
public:
    TFastIdatSink(TStream& stream, size_t splitSize, int threads)
        : m_output(stream, splitSize), m_slots(size_t(threads) + 1)
    {}

    ~TFastIdatSink() override
    {
        // Only an exception on the way leaves segments in flight.
        for (TSlot& slot : m_slots) {
            if (slot.Worker.joinable()) {
                slot.Worker.join();
            }
        }
    }
    TFastIdatSink(const TFastIdatSink&) = delete;
    TFastIdatSink& operator=(const TFastIdatSink&) = delete;

    void Feed(const uint8_t* data, size_t size) override
    {
        m_adler = Adler32(m_adler, data, size);
        while (size > 0) {
            TSlot& slot = m_slots[m_current];
            const size_t take = std::min(size, kSegmentSize - slot.Input.size());
            slot.Input.insert(slot.Input.end(), data, data + take);
            data += take;
            size -= take;
            if (slot.Input.size() == kSegmentSize) {
                Launch(slot, false);
                m_current = (m_current + 1) % m_slots.size();
                Retire(m_slots[m_current]);
            }
        }
    }

    void Finish() override
    {
        // The last segment ends the stream; when the data filled the one before exactly, it
        // is empty and holds only the final block.
        Launch(m_slots[m_current], true);
        for (size_t k = 1; k <= m_slots.size(); ++k) {
            Retire(m_slots[(m_current + k) % m_slots.size()]);
        }
        m_output.Finish(m_adler);
    }

private:
    static constexpr size_t kSegmentSize = size_t(1) << 18;
    // A segment that level 6 shrinks below an eighth is flat graphics, taken again at level 8.
    static constexpr size_t kFlatRatio = 8;
    static constexpr int kFlatDeflateLevel = 8;

    // One segment: filled by the caller, compressed by its worker, written by Retire.
    struct TSlot
    {
        std::vector<uint8_t> Input;
        std::vector<uint8_t> Output;
        std::vector<uint8_t> Spare; // a second compression of a flat segment
        std::optional<TDeflater> Deflater;
        std::optional<TDeflater> FlatDeflater;
        std::thread Worker;
        std::exception_ptr Error;
        bool Filled = false; // a segment is compressed or being compressed
    };

    void Launch(TSlot& slot, bool last)
    {
        // The zlib header goes first and names the level of the whole stream.
        if (!m_headerWritten) {
            const int level = last ? kStrongestDeflateLevel : kFastDeflateLevel;
            const uint16_t header = ZlibHeader(level);
            const uint8_t bytes[2] = {uint8_t(header >> 8), uint8_t(header)};
            m_output.Emit(bytes, 2);
            m_headerWritten = true;
            if (last) {
                slot.Deflater.emplace(level);
            }
        }
        if (!slot.Deflater) {
            slot.Deflater.emplace(kFastDeflateLevel);
        }
        auto compress = [&slot, last] {
            try {
                slot.Deflater->Compress(slot.Input.data(), slot.Input.size(), slot.Output);
                if (slot.Deflater->Level() == kFastDeflateLevel &&
                    slot.Output.size() * kFlatRatio < slot.Input.size()) {
                    RecompressFlat(slot);
                }
                if (!last) {
                    ReopenRawDeflate(slot.Output, slot.Input.size());
                }
            } catch (...) {
                slot.Error = std::current_exception();
            }
        };
        slot.Filled = true;
        // Where the system starts no more threads, the caller compresses the segment itself:
        // the same bytes, later.
        if (!TryStartThread(slot.Worker, compress)) {
            NoteThreadsLimited(
                int(1 + std::count_if(m_slots.begin(), m_slots.end(),
                                      [](const TSlot& s) { return s.Worker.joinable(); })));
            compress();
        }
    }

    // A segment of flat colours again at a stronger level, kept when smaller: level 6 stops
    // its matches short on long runs, which left large flat graphics up to a third larger
    // than the default profile's file. Photos never compress this well, so they never pay.
    static void RecompressFlat(TSlot& slot)
    {
        if (!slot.FlatDeflater) {
            slot.FlatDeflater.emplace(kFlatDeflateLevel);
        }
        slot.FlatDeflater->Compress(slot.Input.data(), slot.Input.size(), slot.Spare);
        if (slot.Spare.size() < slot.Output.size()) {
            slot.Output.swap(slot.Spare);
        }
    }

    // Waits for the slot's segment, if any, writes it and empties the slot for the next.
    void Retire(TSlot& slot)
    {
        if (!slot.Filled) {
            return;
        }
        slot.Filled = false;
        if (slot.Worker.joinable()) {
            slot.Worker.join();
        }
        if (slot.Error) {
            std::rethrow_exception(slot.Error);
        }
        m_output.Emit(slot.Output.data(), slot.Output.size());
        slot.Input.clear();
    }

    TIdatChunker m_output;
    std::vector<TSlot> m_slots;
    size_t m_current = 0; // the slot being filled; the next ones hold the oldest segments
    uint32_t m_adler = 1;
    bool m_headerWritten = false;
};

} // namespace

std::unique_ptr<TImageDataSink> MakeFastIdatSink(TStream& stream, size_t splitSize, int threads)
{
    return std::make_unique<TFastIdatSink>(stream, splitSize, threads);
}

} // namespace kapto

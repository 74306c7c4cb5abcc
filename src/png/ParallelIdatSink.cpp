// The zlib stream of a picture's filtered rows deflated on several threads.
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

// The same zlib stream contents deflated on several threads: the filtered data is cut into
// segments compressed side by side, each primed with the 32 KiB before it and ended on a
// byte boundary, then joined behind one zlib header and closed with the Adler-32 of all the
// data. A batch of one segment per thread is held at a time, so memory stays bounded. The
// bytes differ from a single deflate stream's; the data they inflate to does not.
class TParallelIdatSink : public TImageDataSink
{
public:
    TParallelIdatSink(TStream& stream, size_t splitSize, int level, int threads)
        : m_output(stream, splitSize), m_level(level), m_threads(size_t(threads))
    {
        const uint16_t header = ZlibHeader(level);
        const uint8_t bytes[2] = {uint8_t(header >> 8), uint8_t(header)};
        m_output.Emit(bytes, 2);
    }

    void Feed(const uint8_t* data, size_t size) override
    {
        m_adler = Adler32(m_adler, data, size);
        m_pending.insert(m_pending.end(), data, data + size);
        while (m_pending.size() >= kSegmentSize * m_threads + kSegmentSize) {
            CompressBatch(kSegmentSize * m_threads, false);
        }
    }

    void Finish() override
    {
        CompressBatch(m_pending.size(), true);
        m_output.Finish(m_adler);
    }

private:
    static constexpr size_t kSegmentSize = size_t(1) << 20;
    static constexpr size_t kWindow = 32768;

    // Compresses the first `size` pending bytes in segments, one per thread.
    void CompressBatch(size_t size, bool last)
    {
        const size_t count = std::max<size_t>(1, (size + kSegmentSize - 1) / kSegmentSize);
        std::vector<std::vector<uint8_t>> outputs(count);
        std::vector<std::exception_ptr> errors(count);
        auto compress = [&](size_t i) {
            const size_t begin = i * kSegmentSize;
            const size_t length = std::min(kSegmentSize, size - std::min(size, begin));
            // The dictionary: the bytes before the segment, from this batch or the last one.
            std::vector<uint8_t> dictionary;
            if (begin >= kWindow) {
                dictionary.assign(m_pending.begin() + ptrdiff_t(begin - kWindow),
                                  m_pending.begin() + ptrdiff_t(begin));
            } else {
                const size_t fromWindow = std::min(m_window.size(), kWindow - begin);
                dictionary.assign(m_window.end() - ptrdiff_t(fromWindow), m_window.end());
                dictionary.insert(dictionary.end(), m_pending.begin(),
                                  m_pending.begin() + ptrdiff_t(begin));
            }
            try {
                outputs[i] = DeflateSegment(m_pending.data() + begin, length, dictionary.data(),
                                            dictionary.size(), m_level, last && i + 1 == count);
            } catch (...) {
                errors[i] = std::current_exception();
            }
        };
        std::vector<std::thread> workers;
        size_t started = 1;
        for (; started < count; ++started) {
            std::thread worker;
            if (!TryStartThread(worker, [&compress, started] { compress(started); })) {
                NoteThreadsLimited(int(started));
                break;
            }
            workers.push_back(std::move(worker));
        }
        // Segments whose thread could not start are compressed here: the same bytes, later.
        compress(0);
        for (size_t i = started; i < count; ++i) {
            compress(i);
        }
        for (std::thread& worker : workers) {
            worker.join();
        }
        for (size_t i = 0; i < count; ++i) {
            if (errors[i]) {
                std::rethrow_exception(errors[i]);
            }
            m_output.Emit(outputs[i].data(), outputs[i].size());
        }
        // Keep the last 32 KiB of data as the next batch's dictionary.
        std::vector<uint8_t> window;
        const size_t fromPending = std::min(size, kWindow);
        const size_t fromOld = std::min(m_window.size(), kWindow - fromPending);
        window.assign(m_window.end() - ptrdiff_t(fromOld), m_window.end());
        window.insert(window.end(), m_pending.begin() + ptrdiff_t(size - fromPending),
                      m_pending.begin() + ptrdiff_t(size));
        m_window.swap(window);
        m_pending.erase(m_pending.begin(), m_pending.begin() + ptrdiff_t(size));
    }

    TIdatChunker m_output;
    int m_level;
    size_t m_threads;
    uint32_t m_adler = 1;
    std::vector<uint8_t> m_pending;
    std::vector<uint8_t> m_window;
};

} // namespace

std::unique_ptr<TImageDataSink> MakeParallelIdatSink(TStream& stream, size_t splitSize, int level,
                                                     int threads)
{
    return std::make_unique<TParallelIdatSink>(stream, splitSize, level, threads);
}

} // namespace kapto

#pragma once
// The memory that pictures decoded side by side may take together, and the size limit of any
// one pixel buffer. Every pixel buffer is charged to the job its thread works for.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>

namespace kapto {

// A budget shared by the jobs of a run, numbered in run order. A job whose pixel buffers
// would take the budget past its limit waits until the jobs before it are done, so the run
// never holds much more than the limit at once. The earliest job at work never waits: a
// picture larger than the whole budget still goes ahead, alone. What jobs decide and write
// does not depend on the waiting.
// Whether a budget's limit is also the largest single pixel buffer.
enum class TBufferLimit
{
    Independent,
    FollowsBudget
};

class TMemoryBudget
{
public:
    explicit TMemoryBudget(uint64_t limit, TBufferLimit bufferLimit = TBufferLimit::Independent)
        : m_limit(limit), m_bufferLimit(bufferLimit)
    {}

    uint64_t Limit() const;
    void SetLimit(uint64_t limit);

    // A job starts; its end gives back everything charged to it.
    void Begin(size_t job);
    void End(size_t job);
    // Charges bytes to a job that has begun, first waiting as described above.
    void Charge(size_t job, uint64_t bytes);

    // How many charges have had to wait so far.
    uint64_t Waits() const;

private:
    bool IsEarliest(size_t job) const { return !m_jobs.empty() && m_jobs.begin()->first == job; }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    uint64_t m_limit;
    TBufferLimit m_bufferLimit;
    uint64_t m_used = 0;
    uint64_t m_waits = 0;
    std::map<size_t, uint64_t> m_jobs; // charged bytes by job
};

// The budget runs share unless given their own: half of the physical memory, at most 4 GiB.
// Its limit is also the largest single pixel buffer (PixelBufferLimit, at least 768 MiB), so
// that --max-memory admits one picture as large as the budget.
TMemoryBudget& SharedMemoryBudget();

// While alive, the pixel buffers the calling thread allocates are charged to one job of a
// budget, which begins with the scope and ends with it.
class TBudgetScope
{
public:
    TBudgetScope(TMemoryBudget& budget, size_t job);
    ~TBudgetScope();
    TBudgetScope(const TBudgetScope&) = delete;
    TBudgetScope& operator=(const TBudgetScope&) = delete;

    void Charge(uint64_t bytes) { m_budget.Charge(m_job, bytes); }

private:
    TMemoryBudget& m_budget;
    size_t m_job;
    TBudgetScope* m_outer;
};

// Charges a pixel buffer about to be allocated to the calling thread's job, if it has one.
void ChargePixelMemory(uint64_t bytes);

// The largest single pixel buffer (ImageByteLimit); a larger one fails to allocate as if
// memory had run out. Fuzzing builds lower it, so that inputs declaring huge pictures fail fast.
uint64_t PixelBufferLimit();
void SetPixelBufferLimit(uint64_t bytes);

} // namespace kapto

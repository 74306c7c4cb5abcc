#include "platform/MemoryBudget.h"

#include "runtime/Checked.h"

namespace kapto {

namespace {

thread_local TBudgetScope* t_scope = nullptr;

} // namespace

uint64_t TMemoryBudget::Limit() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_limit;
}

void TMemoryBudget::SetLimit(uint64_t limit)
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_limit = limit;
        if (m_bufferLimit == TBufferLimit::FollowsBudget) {
            SetImageByteLimit(ImageByteLimitForBudget(limit));
        }
    }
    m_changed.notify_all();
}

void TMemoryBudget::Begin(size_t job)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_jobs.emplace(job, 0);
}

void TMemoryBudget::End(size_t job)
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        const auto found = m_jobs.find(job);
        if (found == m_jobs.end()) {
            return;
        }
        m_used -= found->second;
        m_jobs.erase(found);
    }
    m_changed.notify_all();
}

void TMemoryBudget::Charge(size_t job, uint64_t bytes)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto fits = [&] { return m_used + bytes <= m_limit || IsEarliest(job); };
    if (!fits()) {
        ++m_waits;
        m_changed.wait(lock, fits);
    }
    m_used += bytes;
    m_jobs[job] += bytes;
}

uint64_t TMemoryBudget::Waits() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_waits;
}

TMemoryBudget& SharedMemoryBudget()
{
    static TMemoryBudget budget(DefaultMemoryLimit(), TBufferLimit::FollowsBudget);
    return budget;
}

TBudgetScope::TBudgetScope(TMemoryBudget& budget, size_t job)
    : m_budget(budget), m_job(job), m_outer(t_scope)
{
    m_budget.Begin(job);
    t_scope = this;
}

TBudgetScope::~TBudgetScope()
{
    m_budget.End(m_job);
    t_scope = m_outer;
}

void ChargePixelMemory(uint64_t bytes)
{
    if (t_scope != nullptr) {
        t_scope->Charge(bytes);
    }
}

uint64_t PixelBufferLimit()
{
    return ImageByteLimit();
}

void SetPixelBufferLimit(uint64_t bytes)
{
    SetImageByteLimit(bytes);
}

} // namespace kapto

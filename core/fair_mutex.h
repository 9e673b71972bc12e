#pragma once
// A lock taken in the order it was asked for: a thread that releases it and asks again at
// once (the next part of a long flash erase, the next step of a record store) queues behind
// those that waited meanwhile, where a plain mutex would most often let it take the lock
// again before any waiter wakes. Without waiters it costs a plain mutex's lock and unlock.
#include <condition_variable>
#include <cstdint>
#include <mutex>

class FairMutex {
public:
    void lock()
    {
        std::unique_lock<std::mutex> lk(m_);
        const uint64_t ticket = next_++;
        if (ticket != serving_)
            turn_.wait(lk, [&] { return ticket == serving_; });
    }
    void unlock()
    {
        bool waiters;
        {
            std::lock_guard<std::mutex> lk(m_);
            ++serving_;
            waiters = next_ != serving_;
        }
        if (waiters)
            turn_.notify_all();
    }
    // Threads holding the lock or queued for it: a test sees a thread queued before it goes on.
    uint64_t askers()
    {
        std::lock_guard<std::mutex> lk(m_);
        return next_ - serving_;
    }

private:
    std::mutex m_;
    std::condition_variable turn_;
    uint64_t next_ = 0;     // the ticket the next asker draws
    uint64_t serving_ = 0;  // the ticket that holds the lock (== next_: nobody)
};

#pragma once
// The bounded history a simulated device keeps of what was done to it (transactions, register
// writes, frames sent): the last kRingKeep entries, the oldest dropped first, and a count of
// every entry ever added. A long run of the device thus stays flat in memory, and a state
// dump still shows the recent history.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace sim {

constexpr size_t kRingKeep = 4096;

template <typename T>
class Ring {
public:
    explicit Ring(size_t keep = kRingKeep) : keep_(keep ? keep : 1) {}

    void push(T item)
    {
        ++total_;
        items_.push_back(std::move(item));
        if (items_.size() > keep_)
            items_.pop_front();
    }
    // Drops what is kept; the count of every entry ever added goes on.
    void clear() { items_.clear(); }

    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    size_t keep() const { return keep_; }
    uint64_t total() const { return total_; }
    // Oldest kept first.
    const T& operator[](size_t i) const { return items_[i]; }
    const T& front() const { return items_.front(); }
    const T& back() const { return items_.back(); }
    typename std::deque<T>::const_iterator begin() const { return items_.begin(); }
    typename std::deque<T>::const_iterator end() const { return items_.end(); }
    std::vector<T> to_vector() const { return {items_.begin(), items_.end()}; }

private:
    size_t keep_;
    std::deque<T> items_;
    uint64_t total_ = 0;
};

}  // namespace sim

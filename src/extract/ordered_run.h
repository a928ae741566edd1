// Reads many workbooks on several threads and hands what each gives on in
// input order, with bounded memory. The workbook whose turn it is streams
// straight through. Workers reading ahead keep going while everything held
// ahead of the consumer, over all inputs together, stays within one budget of
// items: a workbook that takes long to read never stops the other workers
// after a fixed number of inputs, and a workbook read ahead may use the whole
// budget. Only when the budget is spent does a worker wait for its turn.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace dialsift {

template <class Item>
class OrderedRun {
 public:
  struct Limits {
    std::size_t batch = 256;  // items a worker gathers before handing them over
    // Items held for inputs read ahead, all together, before their workers wait.
    std::size_t buffered = std::size_t{1} << 16;
    std::size_t current_batches = 16;  // batches the current input may hold
    std::size_t read_ahead = 0;        // inputs started beyond the current one; 0: 4096
  };

  // What a worker hands its items to.
  class Channel {
   public:
    void Put(Item item) {
      batch_.push_back(std::move(item));
      if (batch_.size() >= run_.limits_.batch) run_.Hand(index_, batch_);
    }
    // True once the run is being stopped: a producer may end early.
    bool Stopping() const { return run_.Stopping(); }

   private:
    friend class OrderedRun;
    Channel(OrderedRun& run, std::size_t index) : run_(run), index_(index) {
      batch_.reserve(run_.limits_.batch);
    }
    OrderedRun& run_;
    std::size_t index_;
    std::vector<Item> batch_;
  };

  // Reads input `index` and puts its items into the channel.
  using Produce = std::function<void(std::size_t index, Channel& out)>;
  // Takes one item of input `index`; false stops the run.
  using Consume = std::function<bool(std::size_t index, Item& item)>;

  OrderedRun(std::size_t count, unsigned jobs, Produce produce, Limits limits = {})
      : count_(count), jobs_(std::max(1u, jobs)), produce_(std::move(produce)), limits_(limits) {
    if (limits_.read_ahead == 0) limits_.read_ahead = 4096;
    limits_.batch = std::max<std::size_t>(1, limits_.batch);
    limits_.current_batches = std::max<std::size_t>(1, limits_.current_batches);
  }

  ~OrderedRun() {
    Stop();
    Join();
  }

  // Runs the workers and hands every item to `consume` on the calling thread,
  // input by input in order; `input_done(index)` follows each input's last
  // item. `interrupted` is asked between batches and about every `poll` while
  // waiting, never while the run's lock is held (it may run an event loop);
  // true stops the run. Returns true when every input was handed on. The
  // workers are gone when it returns.
  bool Run(const Consume& consume, const std::function<void(std::size_t)>& input_done = {},
           const std::function<bool()>& interrupted = {},
           std::chrono::milliseconds poll = std::chrono::milliseconds(50)) {
    const unsigned workers = static_cast<unsigned>(std::min<std::size_t>(jobs_, count_));
    for (unsigned j = 0; j < workers; ++j) pool_.emplace_back([this] { Work(); });
    bool complete = true;
    std::vector<std::vector<Item>> batches;
    for (std::size_t i = 0; i < count_ && complete; ++i) {
      while (true) {
        // Asked between batches too: a steady stream of items never waits.
        if (interrupted && interrupted()) {
          complete = false;
          break;
        }
        bool done = false;
        bool taken = false;
        {
          std::unique_lock lock(mutex_);
          Slot& slot = SlotOf(i);
          if (slot.batches.empty() && !slot.done) {
            consumer_waiting_ = true;
            has_items_.wait_for(lock, poll, [&] { return !slot.batches.empty() || slot.done; });
            consumer_waiting_ = false;
          }
          if (!slot.batches.empty() || slot.done) {
            // The current input's items are not in the budget.
            taken = true;
            batches.swap(slot.batches);
            done = slot.done;
          }
          WakeWorkers();
        }
        if (!taken) continue;  // ask `interrupted` again, then wait on
        for (auto& batch : batches) {
          for (auto& item : batch) {
            if (!complete) break;
            complete = consume(i, item);
          }
        }
        Recycle(batches);
        if (!complete) break;
        if (!done) continue;
        {
          std::lock_guard lock(mutex_);
          window_.pop_front();
          current_ = i + 1;
          if (!window_.empty()) {
            // The next input becomes current: what it holds leaves the budget.
            Slot& next = window_.front();
            for (const auto& b : next.batches) buffered_ -= b.size();
            next.current = true;
          }
          WakeWorkers();
        }
        if (input_done) input_done(i);
        break;
      }
    }
    if (!complete) Stop();
    Join();
    return complete;
  }

  // Most items held at once for inputs read ahead.
  std::size_t PeakBuffered() const {
    std::lock_guard lock(mutex_);
    return peak_;
  }

 private:
  struct Slot {
    std::vector<std::vector<Item>> batches;
    bool done = false;
    bool current = false;  // the consumer has reached it: its batches are not in the budget
  };

  // The slot of input `index` (current_ <= index < current_ + read_ahead + 1),
  // made when first asked for; the lock is held.
  Slot& SlotOf(std::size_t index) {
    const std::size_t k = index - current_;
    while (window_.size() <= k) {
      window_.emplace_back();
      if (window_.size() == 1) window_.front().current = true;
    }
    return window_[k];
  }

  bool Stopping() const { return stopping_.load(std::memory_order_relaxed); }

  void Stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    has_room_.notify_all();
    has_items_.notify_all();
  }

  void Join() {
    for (auto& t : pool_) t.join();
    pool_.clear();
  }

  // Wakes waiting workers; the lock is held.
  void WakeWorkers() {
    if (workers_waiting_ > 0) has_room_.notify_all();
  }

  // Wakes the consumer when it waits for input `index`; the lock is held.
  void WakeConsumer(std::size_t index) {
    if (consumer_waiting_ && index == current_) has_items_.notify_one();
  }

  // Keeps drained batches' storage for the workers' next batches.
  void Recycle(std::vector<std::vector<Item>>& batches) {
    std::lock_guard lock(mutex_);
    for (auto& b : batches) {
      if (spare_.size() >= 2 * jobs_ + 2) break;
      b.clear();
      spare_.push_back(std::move(b));
    }
    batches.clear();
  }

  void Work() {
    while (true) {
      std::size_t index = 0;
      {
        std::unique_lock lock(mutex_);
        ++workers_waiting_;
        has_room_.wait(lock, [&] {
          return stopping_ || next_ >= count_ || next_ <= current_ + limits_.read_ahead;
        });
        --workers_waiting_;
        if (stopping_ || next_ >= count_) return;
        index = next_++;
        SlotOf(index);
      }
      Channel channel(*this, index);
      produce_(index, channel);
      if (!channel.batch_.empty()) Hand(index, channel.batch_);
      {
        std::lock_guard lock(mutex_);
        if (!stopping_) {
          SlotOf(index).done = true;
          WakeConsumer(index);
        }
      }
    }
  }

  // Moves a worker's batch into its input's slot. The current input waits
  // while its slot is full (the consumer is behind); an input read ahead
  // waits while the items held for inputs read ahead fill the budget.
  void Hand(std::size_t index, std::vector<Item>& batch) {
    std::unique_lock lock(mutex_);
    const auto room = [&] {
      if (stopping_) return true;
      if (index == current_) return SlotOf(index).batches.size() < limits_.current_batches;
      return buffered_ < limits_.buffered;
    };
    if (!room()) {
      ++workers_waiting_;
      has_room_.wait(lock, room);
      --workers_waiting_;
    }
    if (stopping_) {
      batch.clear();
      return;
    }
    Slot& slot = SlotOf(index);
    if (!slot.current) {
      buffered_ += batch.size();
      peak_ = std::max(peak_, buffered_);
    }
    slot.batches.push_back(std::move(batch));
    if (spare_.empty()) {
      batch = {};
      batch.reserve(limits_.batch);
    } else {
      batch = std::move(spare_.back());
      spare_.pop_back();
    }
    WakeConsumer(index);
  }

  const std::size_t count_;
  const unsigned jobs_;
  Produce produce_;
  Limits limits_;

  mutable std::mutex mutex_;
  std::condition_variable has_items_;  // the current input got a batch or finished
  std::condition_variable has_room_;   // items were taken, or the current input moved on
  std::deque<Slot> window_;            // inputs current_, current_ + 1, ...
  std::vector<std::vector<Item>> spare_;
  std::size_t next_ = 0;     // next input a worker takes
  std::size_t current_ = 0;  // input being handed on
  std::size_t buffered_ = 0;
  std::size_t peak_ = 0;
  bool consumer_waiting_ = false;
  int workers_waiting_ = 0;
  std::atomic<bool> stopping_{false};
  std::vector<std::thread> pool_;
};

}  // namespace dialsift

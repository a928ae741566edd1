// Reads many workbooks on several threads and hands what each gives on in
// input order, with bounded memory: the workbook whose turn it is streams
// straight through; workers reading ahead hold at most a few batches each and
// then wait for their turn, and no worker starts a workbook more than a
// window ahead of the one being handed on.
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
    std::size_t batch = 256;             // items a worker gathers before handing them over
    std::size_t batches_per_input = 16;  // batches an input may hold before its worker waits
    std::size_t read_ahead = 0;          // inputs started beyond the current one; 0: 4 per job
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
    Channel(OrderedRun& run, std::size_t index) : run_(run), index_(index) {}
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
    if (limits_.read_ahead == 0) limits_.read_ahead = 4 * std::size_t{jobs_};
    slots_.resize(limits_.read_ahead + 1);
  }

  ~OrderedRun() {
    Stop();
    Join();
  }

  // Runs the workers and hands every item to `consume` on the calling thread,
  // input by input in order; `input_done(index)` follows each input's last
  // item. `interrupted` is asked about every `poll` while waiting; true stops
  // the run. Returns true when every input was handed on.
  bool Run(const Consume& consume, const std::function<void(std::size_t)>& input_done = {},
           const std::function<bool()>& interrupted = {},
           std::chrono::milliseconds poll = std::chrono::milliseconds(50)) {
    const unsigned workers = static_cast<unsigned>(std::min<std::size_t>(jobs_, count_));
    for (unsigned j = 0; j < workers; ++j) pool_.emplace_back([this] { Work(); });
    bool complete = true;
    for (std::size_t i = 0; i < count_ && complete; ++i) {
      while (true) {
        // Asked between batches too: a steady stream of items never waits.
        if (interrupted && interrupted()) {
          complete = false;
          break;
        }
        std::deque<std::vector<Item>> batches;
        bool done = false;
        {
          std::unique_lock lock(mutex_);
          Slot& slot = SlotOf(i);
          while (slot.batches.empty() && !slot.done) {
            if (interrupted && interrupted()) break;
            has_items_.wait_for(lock, poll);
          }
          if (slot.batches.empty() && !slot.done) {
            complete = false;  // interrupted
            break;
          }
          batches.swap(slot.batches);
          done = slot.done;
          for (const auto& b : batches) buffered_ -= b.size();
        }
        has_room_.notify_all();
        for (auto& batch : batches) {
          for (auto& item : batch) {
            if (!complete) break;
            complete = consume(i, item);
          }
        }
        if (!complete) break;
        if (!done) continue;
        {
          std::lock_guard lock(mutex_);
          SlotOf(i) = Slot{};
          current_ = i + 1;
        }
        has_room_.notify_all();
        if (input_done) input_done(i);
        break;
      }
    }
    if (!complete) Stop();
    Join();
    return complete;
  }

  // Most items held at once between the workers and the consumer.
  std::size_t PeakBuffered() const {
    std::lock_guard lock(mutex_);
    return peak_;
  }

 private:
  struct Slot {
    std::deque<std::vector<Item>> batches;
    bool done = false;
  };

  Slot& SlotOf(std::size_t index) { return slots_[index % slots_.size()]; }

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

  void Work() {
    while (true) {
      std::size_t index = 0;
      {
        std::unique_lock lock(mutex_);
        has_room_.wait(lock, [&] {
          return stopping_ || next_ >= count_ || next_ <= current_ + limits_.read_ahead;
        });
        if (stopping_ || next_ >= count_) return;
        index = next_++;
      }
      Channel channel(*this, index);
      produce_(index, channel);
      if (!channel.batch_.empty()) Hand(index, channel.batch_);
      {
        std::lock_guard lock(mutex_);
        SlotOf(index).done = true;
      }
      has_items_.notify_all();
    }
  }

  // Moves a worker's batch into its input's slot, waiting while the slot is
  // full (the consumer has not reached it yet, or is behind).
  void Hand(std::size_t index, std::vector<Item>& batch) {
    {
      std::unique_lock lock(mutex_);
      has_room_.wait(lock, [&] {
        return stopping_ || SlotOf(index).batches.size() < limits_.batches_per_input;
      });
      if (stopping_) {
        batch.clear();
        return;
      }
      buffered_ += batch.size();
      peak_ = std::max(peak_, buffered_);
      SlotOf(index).batches.push_back(std::move(batch));
    }
    batch = {};
    batch.reserve(limits_.batch);
    has_items_.notify_all();
  }

  const std::size_t count_;
  const unsigned jobs_;
  Produce produce_;
  Limits limits_;

  mutable std::mutex mutex_;
  std::condition_variable has_items_;  // a slot got a batch or finished
  std::condition_variable has_room_;   // a slot was drained, or the current input moved on
  std::vector<Slot> slots_;            // ring: input i lives in slot i % size
  std::size_t next_ = 0;               // next input a worker takes
  std::size_t current_ = 0;            // input being handed on
  std::size_t buffered_ = 0;
  std::size_t peak_ = 0;
  std::atomic<bool> stopping_{false};
  std::vector<std::thread> pool_;
};

}  // namespace dialsift

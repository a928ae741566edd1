// Reads many workbooks on several threads and hands what each gives on in
// input order, with bounded memory. The workbook whose turn it is streams
// straight through. Workers reading ahead keep going while everything held
// ahead of the consumer, over all inputs together, stays within one budget of
// items: a workbook that takes long to read never stops the other workers
// after a fixed number of inputs, and a workbook read ahead may use the whole
// budget. Only when the budget is spent does a worker wait for its turn.
//
// Told how large the inputs are, the run starts its last inputs largest
// first, so that it does not end on one big input read alone while the other
// workers have nothing left to do.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
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
  // Items are counted by their weight (Channel::Put): an item that stands
  // for many counts as many.
  struct Limits {
    std::size_t batch = 256;  // items a worker gathers before handing them over
    // Items held for inputs read ahead, all together, before their workers wait.
    std::size_t buffered = std::size_t{1} << 16;
    std::size_t current_batches = 16;  // batches the current input may hold
    std::size_t read_ahead = 0;        // inputs started beyond the current one; 0: 4096
    std::size_t tail = 256;            // last inputs started largest first, sizes known
    // True: a waiting consumer is woken for every batch of the current input
    // and at its end. False: only once something waits on it (a worker, the
    // budget or the current input's batches half spent, the end of the run)
    // or after `poll`; it then hands on everything ready in one go, and the
    // workers are not interrupted by its waking thousands of times.
    bool eager = true;
  };

  // What a worker hands its items to.
  class Channel {
   public:
    // `weight`: how many items it counts as, for an item that carries many
    // (records already formatted together, say).
    void Put(Item item, std::size_t weight = 1) {
      batch_.push_back(std::move(item));
      weight_ += weight;
      if (weight_ >= run_.limits_.batch) HandOn();
    }
    // True once the run is being stopped: a producer may end early.
    bool Stopping() const { return run_.Stopping(); }

   private:
    friend class OrderedRun;
    Channel(OrderedRun& run, std::size_t index) : run_(run), index_(index) {
      batch_.reserve(run_.limits_.batch);
    }
    void HandOn() {
      run_.Hand(index_, batch_, weight_);
      weight_ = 0;
    }
    OrderedRun& run_;
    std::size_t index_;
    std::vector<Item> batch_;
    std::size_t weight_ = 0;  // of the batch
  };

  // Reads input `index` and puts its items into the channel.
  using Produce = std::function<void(std::size_t index, Channel& out)>;
  // Takes one item of input `index`; false stops the run.
  using Consume = std::function<bool(std::size_t index, Item& item)>;
  // How much reading input `index` takes, in any unit (a file's bytes).
  using SizeOf = std::function<std::uint64_t(std::size_t index)>;

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

  // Before Run: the sizes of the inputs. Of the last `Limits::tail` inputs, a
  // free worker starts the largest left when it is at least twice the size
  // of the one next in turn. One input at a time is read out of its turn
  // that way; a worker that reads it ahead of the budget waits as any other.
  void SizeInputs(SizeOf size_of) { size_of_ = std::move(size_of); }

  // Before Run: called first on each worker's thread, with the worker's
  // number (0, 1, ...), to place the thread, say.
  void OnWorkerStart(std::function<void(unsigned worker)> start) { on_start_ = std::move(start); }

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
    if (size_of_ && workers > 1) {
      tail_start_ = count_ - std::min(count_, limits_.tail);
      for (std::size_t i = tail_start_; i < count_; ++i) left_.push_back({i, size_of_(i)});
    }
    for (unsigned j = 0; j < workers; ++j) {
      pool_.emplace_back([this, j] {
        if (on_start_) on_start_(j);
        Work();
      });
    }
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
        bool wake_workers = false;
        {
          auto lock = Lock();
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
            slot.weight = 0;
            done = slot.done;
          }
          wake_workers = workers_waiting_ > 0;
        }
        if (wake_workers) has_room_.notify_all();
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
          auto lock = Lock();
          window_.pop_front();
          current_ = i + 1;
          if (!window_.empty()) {
            // The next input becomes current: what it holds leaves the budget.
            Slot& next = window_.front();
            buffered_ -= next.weight;
            next.current = true;
          }
          wake_workers = workers_waiting_ > 0;
        }
        if (wake_workers) has_room_.notify_all();
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
    auto lock = Lock();
    return peak_;
  }

 private:
  struct Slot {
    std::vector<std::vector<Item>> batches;
    std::size_t weight = 0;  // of the batches
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

  // The run's lock. It is held for moments far shorter than a thread's
  // going to sleep and waking, so a thread that finds it taken tries again
  // for a moment first. A reader put to sleep here leaves its core idle, and
  // the scheduler is then apt to move the other reader onto its core and
  // leave the first idle for milliseconds.
  std::unique_lock<std::mutex> Lock() const {
    std::unique_lock lock(mutex_, std::try_to_lock);
    for (int i = 0; i < 128 && !lock.owns_lock(); ++i) {
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
      lock.try_lock();
    }
    if (!lock.owns_lock()) lock.lock();
    return lock;
  }

  // The input a free worker starts next: next_ in turn, or in the tail the
  // largest left; the lock is held and next_ < count_.
  std::size_t TakeNext() {
    if (next_ < tail_start_ || left_.empty()) return next_++;
    // left_ holds the inputs of the tail not yet started, in order: next_
    // is the first.
    auto pick = left_.begin();
    if (out_of_turn_ == kNone) {
      for (auto it = left_.begin() + 1;
           it != left_.end() && it->index <= current_ + limits_.read_ahead; ++it) {
        if (it->size > pick->size) pick = it;
      }
      if (pick->size / 2 < left_.front().size) pick = left_.begin();
    }
    const std::size_t index = pick->index;
    if (pick != left_.begin()) out_of_turn_ = index;
    left_.erase(pick);
    next_ = left_.empty() ? count_ : left_.front().index;
    return index;
  }

  void Stop() {
    {
      auto lock = Lock();
      stopping_ = true;
    }
    has_room_.notify_all();
    has_items_.notify_all();
  }

  void Join() {
    for (auto& t : pool_) t.join();
    pool_.clear();
  }

  // True when the consumer waits and is to be woken: the current input has
  // items or is done, and (see Limits::eager) something waits on it. The
  // lock is held.
  bool ConsumerDue() const {
    if (!consumer_waiting_ || window_.empty()) return false;
    const Slot& slot = window_.front();
    if (slot.batches.empty() && !slot.done) return false;
    return limits_.eager || workers_waiting_ > 0 || next_ >= count_ ||
           2 * buffered_ >= limits_.buffered || 2 * slot.batches.size() >= limits_.current_batches;
  }

  // A worker is about to wait for room: the consumer is woken if it can
  // make some. The lock is held.
  void BeforeWorkerWaits() {
    ++workers_waiting_;
    if (ConsumerDue()) has_items_.notify_one();
  }

  // Keeps drained batches' storage for the workers' next batches.
  void Recycle(std::vector<std::vector<Item>>& batches) {
    auto lock = Lock();
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
        auto lock = Lock();
        const auto can_start = [&] {
          return stopping_ || next_ >= count_ || next_ <= current_ + limits_.read_ahead;
        };
        if (!can_start()) {
          BeforeWorkerWaits();
          has_room_.wait(lock, can_start);
          --workers_waiting_;
        }
        if (stopping_ || next_ >= count_) return;
        index = TakeNext();
        SlotOf(index);
      }
      Channel channel(*this, index);
      produce_(index, channel);
      if (!channel.batch_.empty()) channel.HandOn();
      bool wake = false;
      {
        auto lock = Lock();
        if (index == out_of_turn_) out_of_turn_ = kNone;
        if (!stopping_) {
          SlotOf(index).done = true;
          wake = ConsumerDue();
        }
      }
      // Woken after the lock is let go, the consumer does not wait for it.
      if (wake) has_items_.notify_one();
    }
  }

  // Moves a worker's batch into its input's slot. The current input waits
  // while its slot is full (the consumer is behind); an input read ahead
  // waits while the items held for inputs read ahead fill the budget.
  void Hand(std::size_t index, std::vector<Item>& batch, std::size_t weight) {
    if (HandLocked(index, batch, weight)) has_items_.notify_one();
  }

  // Hand under the lock; true when the consumer is to be woken.
  bool HandLocked(std::size_t index, std::vector<Item>& batch, std::size_t weight) {
    auto lock = Lock();
    const auto room = [&] {
      if (stopping_) return true;
      if (index == current_) return SlotOf(index).batches.size() < limits_.current_batches;
      return buffered_ < limits_.buffered;
    };
    if (!room()) {
      BeforeWorkerWaits();
      has_room_.wait(lock, room);
      --workers_waiting_;
    }
    if (stopping_) {
      batch.clear();
      return false;
    }
    Slot& slot = SlotOf(index);
    slot.weight += weight;
    if (!slot.current) {
      buffered_ += weight;
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
    return ConsumerDue();
  }

  struct Sized {
    std::size_t index;
    std::uint64_t size;
  };
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  const std::size_t count_;
  const unsigned jobs_;
  Produce produce_;
  Limits limits_;
  SizeOf size_of_;
  std::function<void(unsigned)> on_start_;

  mutable std::mutex mutex_;
  std::condition_variable has_items_;  // the current input got a batch or finished
  std::condition_variable has_room_;   // items were taken, or the current input moved on
  std::deque<Slot> window_;            // inputs current_, current_ + 1, ...
  std::vector<std::vector<Item>> spare_;
  std::size_t next_ = 0;             // first input not yet started
  std::size_t tail_start_ = kNone;   // the first input of the tail
  std::vector<Sized> left_;          // the tail's inputs not yet started
  std::size_t out_of_turn_ = kNone;  // the input being read out of its turn
  std::size_t current_ = 0;          // input being handed on
  std::size_t buffered_ = 0;
  std::size_t peak_ = 0;
  bool consumer_waiting_ = false;
  int workers_waiting_ = 0;
  std::atomic<bool> stopping_{false};
  std::vector<std::thread> pool_;
};

}  // namespace dialsift

#include "extract/ordered_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <random>
#include <thread>

namespace dialsift {
namespace {

using IntRun = OrderedRun<int>;

// Input i gives the items i*1000 .. i*1000 + sizes[i] - 1, slowly or fast.
// With `sized`, the run is told the inputs' sizes; `started` gets the order
// in which the workers began them.
std::vector<int> Gather(const std::vector<int>& sizes, unsigned jobs, std::size_t* peak = nullptr,
                        IntRun::Limits limits = {}, bool sized = false,
                        std::vector<std::size_t>* started = nullptr,
                        std::chrono::milliseconds poll = std::chrono::milliseconds(50)) {
  std::mutex start_lock;
  IntRun run(
      sizes.size(), jobs,
      [&](std::size_t i, IntRun::Channel& out) {
        if (started) {
          std::lock_guard hold(start_lock);
          started->push_back(i);
        }
        std::mt19937 rng(static_cast<unsigned>(i));
        for (int k = 0; k < sizes[i]; ++k) {
          if (rng() % 64 == 0) std::this_thread::yield();
          out.Put(static_cast<int>(i) * 1000 + k);
        }
      },
      limits);
  if (sized) run.SizeInputs([&](std::size_t i) { return static_cast<std::uint64_t>(sizes[i]); });
  std::vector<int> got;
  std::vector<std::size_t> done;
  EXPECT_TRUE(run.Run(
      [&](std::size_t i, int& item) {
        EXPECT_EQ(static_cast<std::size_t>(item / 1000), i);
        got.push_back(item);
        return true;
      },
      [&](std::size_t i) { done.push_back(i); }, {}, poll));
  EXPECT_EQ(done.size(), sizes.size());
  for (std::size_t i = 0; i < done.size(); ++i) EXPECT_EQ(done[i], i);
  if (peak) *peak = run.PeakBuffered();
  return got;
}

TEST(OrderedRun, EveryJobCountGivesTheInputOrder) {
  std::vector<int> sizes;
  std::vector<int> expected;
  for (int i = 0; i < 60; ++i) {
    sizes.push_back((i * 37) % 900);
    for (int k = 0; k < sizes.back(); ++k) expected.push_back(i * 1000 + k);
  }
  for (unsigned jobs : {1u, 2u, 3u, 8u}) EXPECT_EQ(Gather(sizes, jobs), expected) << jobs;
  EXPECT_TRUE(Gather({}, 4).empty());
}

// Many items and many inputs: what waits for inputs read ahead stays within
// the budget (plus a batch per worker), whatever the totals.
TEST(OrderedRun, MemoryIsBoundedByTheBudgetNotTheItems) {
  IntRun::Limits limits;
  limits.batch = 64;
  limits.buffered = 1000;
  limits.current_batches = 4;
  std::size_t peak = 0;
  std::vector<int> sizes(40, 999);
  sizes[3] = 0;
  const auto got = Gather(sizes, 4, &peak, limits);
  EXPECT_EQ(got.size(), 39u * 999u);
  EXPECT_LE(peak, limits.buffered + 4 * limits.batch);
  EXPECT_GT(peak, 0u);
}

// Items that stand for many count as many: inputs read ahead of a slow
// first one stop at the budget, whatever the number of items.
TEST(OrderedRun, HeavyItemsCountByTheirWeight) {
  IntRun::Limits limits;
  limits.batch = 64;
  limits.buffered = 1000;
  std::atomic<bool> first_done{false};
  std::atomic<int> put_ahead{0};
  IntRun run(
      6, 2,
      [&](std::size_t i, IntRun::Channel& out) {
        if (i == 0) {
          const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
          // Until the others have put the budget's worth, and a moment for
          // them to put more were they let.
          while (put_ahead < 10 && std::chrono::steady_clock::now() < give_up)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
          first_done = true;
          return;
        }
        for (int k = 0; k < 10; ++k) {
          out.Put(static_cast<int>(i), 100);
          if (!first_done) ++put_ahead;
        }
      },
      limits);
  std::size_t items = 0;
  EXPECT_TRUE(run.Run([&](std::size_t, int&) { return ++items > 0; }));
  EXPECT_EQ(items, 50u);
  // A thousand's worth held ahead, plus the batch in the worker's hands.
  EXPECT_LE(put_ahead.load(), 11);
  EXPECT_LE(run.PeakBuffered(), limits.buffered + 100);
}

// An input that takes long (a big workbook among small ones) does not stop
// the other workers after a few inputs: they read on while it is handed on,
// as far as the budget lets them. Input 0 finishes only once the other
// worker has read all 300 inputs after it.
TEST(OrderedRun, ALongInputDoesNotHoldTheOthersBack) {
  constexpr std::size_t kSmall = 300;
  std::atomic<std::size_t> small_done{0};
  bool waited_out = false;
  IntRun run(1 + kSmall, 2, [&](std::size_t i, IntRun::Channel& out) {
    if (i == 0) {
      const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (small_done < kSmall && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      waited_out = small_done < kSmall;
      for (int k = 0; k < 5000; ++k) out.Put(k);
      return;
    }
    for (int k = 0; k < 40; ++k) out.Put(static_cast<int>(i));
    ++small_done;
  });
  std::size_t items = 0;
  EXPECT_TRUE(run.Run([&](std::size_t, int&) { return ++items > 0; }));
  EXPECT_FALSE(waited_out) << "the second worker stopped after " << small_done << " inputs";
  EXPECT_EQ(items, 5000u + 40u * kSmall);
}

// The budget spent, a worker reading ahead waits for its turn and goes on
// from there: nothing is lost or reordered.
TEST(OrderedRun, AWorkerOverTheBudgetWaitsForItsTurn) {
  IntRun::Limits limits;
  limits.batch = 8;
  limits.buffered = 16;
  limits.current_batches = 1;
  std::vector<int> sizes = {3, 900, 900, 5, 900, 0, 2};
  std::vector<int> expected;
  for (std::size_t i = 0; i < sizes.size(); ++i)
    for (int k = 0; k < sizes[i]; ++k) expected.push_back(static_cast<int>(i) * 1000 + k);
  for (unsigned jobs : {2u, 3u, 7u}) {
    std::size_t peak = 0;
    EXPECT_EQ(Gather(sizes, jobs, &peak, limits), expected) << jobs;
    EXPECT_LE(peak, limits.buffered + jobs * limits.batch) << jobs;
  }
}

std::vector<int> Expected(const std::vector<int>& sizes) {
  std::vector<int> expected;
  for (std::size_t i = 0; i < sizes.size(); ++i)
    for (int k = 0; k < sizes[i]; ++k) expected.push_back(static_cast<int>(i) * 1000 + k);
  return expected;
}

// Inputs of 5 items and, last, one of 900, sized. The tail's other inputs
// wait (up to a few seconds in all) for the big one to begin; returns how
// many of them ended before it did. Taken first, it begins before any.
std::size_t EndedBeforeTheBigOne(unsigned jobs, std::size_t count, IntRun::Limits limits) {
  std::vector<int> sizes(count, 5);
  sizes.back() = 900;
  std::mutex lock;
  std::condition_variable began;
  bool big_began = false;
  std::size_t ended_before = 0;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  const std::size_t tail_start = count - std::min(count, limits.tail);
  IntRun run(
      count, jobs,
      [&](std::size_t i, IntRun::Channel& out) {
        std::unique_lock hold(lock);
        if (i + 1 == count) {
          big_began = true;
          began.notify_all();
        } else if (i >= tail_start) {
          began.wait_until(hold, give_up, [&] { return big_began; });
          if (!big_began) ++ended_before;
        }
        hold.unlock();
        for (int k = 0; k < sizes[i]; ++k) out.Put(static_cast<int>(i) * 1000 + k);
      },
      limits);
  run.SizeInputs([&](std::size_t i) { return static_cast<std::uint64_t>(sizes[i]); });
  std::vector<int> got;
  EXPECT_TRUE(run.Run([&](std::size_t, int& item) {
    got.push_back(item);
    return true;
  }));
  EXPECT_EQ(got, Expected(sizes));
  return ended_before;
}

// Told the sizes, the run starts the big input at the end of the list first,
// so that the run does not end on it alone; what comes out keeps the input
// order, also when that input overruns the budget while read out of turn.
TEST(OrderedRun, TheTailsLargestInputIsStartedFirst) {
  for (unsigned jobs : {2u, 3u}) EXPECT_EQ(EndedBeforeTheBigOne(jobs, 40, {}), 0u) << jobs;
  // Only the tail is reordered: before it, inputs start in turn.
  IntRun::Limits short_tail;
  short_tail.tail = 10;
  EXPECT_EQ(EndedBeforeTheBigOne(2, 40, short_tail), 0u);
  std::vector<int> sizes(40, 5);
  sizes[5] = 900;
  std::vector<std::size_t> started;
  Gather(sizes, 2, nullptr, short_tail, true, &started);
  EXPECT_GE(std::find(started.begin(), started.end(), 5u) - started.begin(), 2);
  // One worker reads in turn.
  sizes.back() = 900;
  started.clear();
  Gather(sizes, 1, nullptr, {}, true, &started);
  for (std::size_t i = 0; i < started.size(); ++i) EXPECT_EQ(started[i], i);

  IntRun::Limits tight;
  tight.batch = 8;
  tight.buffered = 16;
  tight.current_batches = 1;
  const std::vector<int> mixed = {3, 1, 900, 5, 2, 700, 0, 4, 999};
  for (unsigned jobs : {2u, 3u, 5u}) {
    EXPECT_EQ(Gather(mixed, jobs, nullptr, tight, true), Expected(mixed)) << jobs;
  }
}

// A consumer woken only when something waits on it still gets everything in
// order, and soon: were it left to sleep out its poll at every input, or
// while a worker waits for room, these runs would take minutes.
TEST(OrderedRun, AConsumerWokenOnlyWhenNeededKeepsUp) {
  IntRun::Limits lazy;
  lazy.eager = false;
  lazy.batch = 8;
  lazy.buffered = 64;
  lazy.current_batches = 2;
  const auto poll = std::chrono::seconds(30);
  const auto start = std::chrono::steady_clock::now();
  std::vector<int> many(300, 7);
  many[100] = 999;
  // Workers that may not start more inputs ahead wait on the consumer alone.
  IntRun::Limits short_reach = lazy;
  short_reach.read_ahead = 1;
  short_reach.current_batches = 64;
  short_reach.buffered = 1 << 20;
  for (unsigned jobs : {1u, 2u, 4u}) {
    EXPECT_EQ(Gather(many, jobs, nullptr, lazy, false, nullptr, poll), Expected(many)) << jobs;
    EXPECT_EQ(Gather({999}, jobs, nullptr, lazy, false, nullptr, poll), Expected({999})) << jobs;
    EXPECT_EQ(Gather(many, jobs, nullptr, short_reach, false, nullptr, poll), Expected(many))
        << jobs;
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(OrderedRun, ConsumerCanStopTheRun) {
  std::atomic<int> started{0};
  IntRun run(1000, 3, [&](std::size_t, IntRun::Channel& out) {
    ++started;
    for (int k = 0; k < 100000 && !out.Stopping(); ++k) out.Put(k);
  });
  int taken = 0;
  EXPECT_FALSE(run.Run([&](std::size_t, int&) { return ++taken < 10; }));
  EXPECT_EQ(taken, 10);
  EXPECT_LT(started.load(), 1000);
}

TEST(OrderedRun, InterruptionIsNoticedWhileWaiting) {
  std::atomic<bool> release{false};
  IntRun run(2, 1, [&](std::size_t, IntRun::Channel& out) {
    while (!release && !out.Stopping()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  int asked = 0;
  EXPECT_FALSE(run.Run([](std::size_t, int&) { return true; }, {}, [&] { return ++asked == 3; },
                       std::chrono::milliseconds(1)));
  EXPECT_EQ(asked, 3);
}

}  // namespace
}  // namespace dialsift

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "events/live_list.h"

using VarnNode::live_list;

namespace {

// An object that notices being used after its owner is done with it.
struct Probe {
  static constexpr int kAlive = 0x5a5a5a5a;
  std::atomic<int> state{kAlive};
  std::atomic<int> visits{0};
};

TEST(LiveList, IdsAreNeverReusedEvenForTheSameAddress) {
  live_list<Probe> list;
  Probe probe;
  auto first = list.add(&probe);
  list.remove(first);
  auto second = list.add(&probe);

  EXPECT_NE(first, 0u);
  EXPECT_NE(first, second);
  EXPECT_EQ(list.find(first), nullptr);
  EXPECT_EQ(list.find(second), &probe);
}

TEST(LiveList, RemoveWaitsForAWalkInProgress) {
  live_list<Probe> list;
  Probe probe;
  auto id = list.add(&probe);
  std::atomic<bool> walking{false};
  std::atomic<bool> release{false};
  std::atomic<bool> removed{false};

  std::thread walker([&] {
    list.forEach([&](uint64_t, Probe &) {
      walking = true;
      while (!release) std::this_thread::yield();
    });
  });
  while (!walking) std::this_thread::yield();
  std::thread remover([&] {
    list.remove(id);
    removed = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(removed);
  release = true;
  walker.join();
  remover.join();
  EXPECT_TRUE(removed);
  EXPECT_EQ(list.find(id), nullptr);
}

// Walkers on several threads while the owner keeps creating and destroying
// objects: no walker may ever be handed an object after its removal.
TEST(LiveList, WalkersNeverSeeAnObjectAfterItsRemoval) {
  live_list<Probe> list;
  std::atomic<bool> stop{false};
  std::atomic<long> badVisits{0};
  std::atomic<long> visits{0};

  std::vector<std::thread> walkers;
  for (int i = 0; i < 4; ++i) {
    walkers.emplace_back([&] {
      while (!stop) {
        list.forEach([&](uint64_t, Probe &item) {
          if (item.state.load() != Probe::kAlive) ++badVisits;
          ++item.visits;
          ++visits;
        });
      }
    });
  }

  for (int round = 0; round < 10000; ++round) {
    auto probe = std::make_unique<Probe>();
    auto id = list.add(probe.get());
    if (round % 3 == 0) std::this_thread::yield();
    list.remove(id);
    // Once removed, the owner may reuse or free the object at once.
    probe->state = 0;
  }
  stop = true;
  for (std::thread &walker : walkers) walker.join();

  EXPECT_EQ(badVisits.load(), 0);
  EXPECT_GT(visits.load(), 0);
  EXPECT_EQ(list.size(), 0u);
}

}  // namespace

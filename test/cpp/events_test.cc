#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "events/live_list.h"

using VarnNode::live_list;

namespace {

struct Probe {};

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
  std::atomic<bool> walking{false}, release{false}, removed{false};
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
  EXPECT_EQ(list.find(id), nullptr);
}

}  // namespace

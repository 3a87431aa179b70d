// node_async_call on a libuv loop of the test's own, and the detached
// threads that hand work to it.
#include <gtest/gtest.h>
#include <uv.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <numeric>
#include <stdexcept>
#include <thread>
#include <vector>

#include "events/detached_thread.h"
#include "events/node_async_call.h"

using VarnNode::node_async_call;
using namespace std::chrono_literals;

namespace {

class DispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(uv_loop_init(&m_loop), 0);
    m_dispatcher = std::make_unique<node_async_call>(&m_loop);
    ASSERT_TRUE(m_dispatcher->attached());
    // The handle alone would not keep the loop running.
    m_dispatcher->hold();
  }
  void TearDown() override {
    m_dispatcher.reset();
    uv_run(&m_loop, UV_RUN_NOWAIT);  // processes the handle's close
    EXPECT_EQ(uv_loop_close(&m_loop), 0);
  }
  uv_loop_t m_loop{};
  std::unique_ptr<node_async_call> m_dispatcher;
};

// Every tenth job is slow, so that the first pass stops at its time budget
// and later passes run the rest (a slow, sanitized build needs many).
TEST_F(DispatcherTest, JobsFromManyThreadsRunOnTheLoopThreadInPostOrder) {
  constexpr int kThreads = 10, kJobs = 200;
  constexpr size_t kAll = kThreads * kJobs;
  std::vector<std::vector<int>> seen(kThreads);
  std::vector<std::thread::id> ranOn;
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&, t] {
      for (int n = 0; n < kJobs; ++n) {
        EXPECT_EQ(m_dispatcher->post([&, t, n] {
          if (n % 10 == 0) std::this_thread::sleep_for(1ms);
          seen[static_cast<size_t>(t)].push_back(n);
          ranOn.push_back(std::this_thread::get_id());
        }),
                  0);
      }
    });
  }
  for (std::thread &poster : posters) poster.join();
  EXPECT_TRUE(ranOn.empty()) << "nothing runs before the loop does";
  uv_run(&m_loop, UV_RUN_NOWAIT);
  EXPECT_GT(ranOn.size(), 0u);
  EXPECT_LT(ranOn.size(), kAll);
  for (int pass = 0; pass < 1000 && ranOn.size() < kAll; ++pass)
    uv_run(&m_loop, UV_RUN_ONCE);
  EXPECT_EQ(ranOn,
            std::vector<std::thread::id>(kAll, std::this_thread::get_id()));
  std::vector<int> inOrder(kJobs);
  std::iota(inOrder.begin(), inOrder.end(), 0);
  EXPECT_EQ(seen, std::vector<std::vector<int>>(kThreads, inOrder));
}

// Also: a post from the loop thread waits; a throwing job stops nothing.
// A pass runs only what was queued when it began, so that posting without
// pause cannot keep the loop from its other work.
TEST_F(DispatcherTest, JobsPostedByAJobRunInTheNextPass) {
  std::vector<int> order;
  m_dispatcher->post([&] {
    order.push_back(1);
    m_dispatcher->post([&] {
      order.push_back(3);
      m_dispatcher->post([&] { order.push_back(4); });
    });
    throw std::runtime_error("job failed");
  });
  m_dispatcher->post([&] { order.push_back(2); });
  uv_run(&m_loop, UV_RUN_NOWAIT);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  uv_run(&m_loop, UV_RUN_NOWAIT);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  m_dispatcher->runQueued();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

// Held once by SetUp; the last release is one too many and changes nothing.
TEST_F(DispatcherTest, TheLoopStaysAliveOnlyWhileHeld) {
  std::vector<int> alive;
  for (bool hold : {false, true, true, false, false, false}) {
    hold ? m_dispatcher->hold() : m_dispatcher->release();
    alive.push_back(uv_loop_alive(&m_loop) != 0);
  }
  EXPECT_EQ(alive, (std::vector<int>{0, 1, 1, 1, 0, 0}));
}

// A job's captures are destroyed outside the dispatcher's lock, so that
// they may post.
TEST_F(DispatcherTest, AJobWhoseCapturesPostOnDestructionDoesNotDeadlock) {
  bool ranFollowUp = false;
  std::shared_ptr<bool> captured(&ranFollowUp, [this](bool *flag) {
    m_dispatcher->post([flag] { *flag = true; });
  });
  m_dispatcher->post([captured] {});
  captured.reset();
  uv_run(&m_loop, UV_RUN_ONCE);
  uv_run(&m_loop, UV_RUN_NOWAIT);  // the follow-up runs in the next pass
  EXPECT_TRUE(ranFollowUp);
}

TEST_F(DispatcherTest, QueuedJobsAreDiscardedUnrunAndReleasedAtDestruction) {
  auto token = std::make_shared<int>(0);
  bool ran = false;
  for (int n = 0; n < 5; ++n) m_dispatcher->post([token, &ran] { ran = true; });
  EXPECT_EQ(token.use_count(), 6);
  m_dispatcher.reset();
  EXPECT_EQ(token.use_count(), 1) << "discarded jobs are destroyed at once";
  uv_run(&m_loop, UV_RUN_NOWAIT);
  EXPECT_FALSE(ran);
}

// Thousands of short threads, as many calls in flight make: every body runs
// off this thread, and one that throws ends alone.
TEST(DetachedThread, RunsEveryBodyOnAThreadOfItsOwn) {
  struct counted {
    std::mutex lock;
    std::condition_variable changed;
    int ran = 0, here = 0;
  };
  constexpr int kThreads = 5000;
  auto state = std::make_shared<counted>();
  const std::thread::id self = std::this_thread::get_id();
  for (int n = 0; n < kThreads; ++n) {
    VarnNode::startDetachedThread([state, self, n] {
      std::lock_guard<std::mutex> guard(state->lock);
      state->here += std::this_thread::get_id() == self;
      if (++state->ran == kThreads) state->changed.notify_one();
      if (n % 2 == 0) throw std::runtime_error("ends alone");
    });
  }
  std::unique_lock<std::mutex> guard(state->lock);
  EXPECT_TRUE(state->changed.wait_for(guard, 60s,
                                      [&] { return state->ran == kThreads; }));
  EXPECT_EQ(state->here, 0);
}

}  // namespace

// node_async_call on a libuv loop of the test's own.
#include <gtest/gtest.h>
#include <uv.h>

#include <chrono>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <thread>
#include <vector>

#include "events/node_async_call.h"

using VarnNode::node_async_call;

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

TEST_F(DispatcherTest, JobsFromManyThreadsRunOnTheLoopThreadInPostOrder) {
  constexpr int kThreads = 10, kJobs = 200;
  std::vector<std::vector<int>> seen(kThreads);
  std::vector<std::thread::id> ranOn;
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&, t] {
      for (int n = 0; n < kJobs; ++n) {
        EXPECT_EQ(m_dispatcher->post([&, t, n] {
          seen[static_cast<size_t>(t)].push_back(n);
          ranOn.push_back(std::this_thread::get_id());
        }),
                  0);
      }
    });
  }
  for (std::thread &poster : posters) poster.join();
  EXPECT_TRUE(ranOn.empty()) << "nothing runs before the loop does";
  // A pass stops after its time budget (a slow build may need several).
  for (int pass = 0;
       pass < 1000 && ranOn.size() < static_cast<size_t>(kThreads * kJobs);
       ++pass) {
    uv_run(&m_loop, UV_RUN_ONCE);
  }
  EXPECT_EQ(ranOn, std::vector<std::thread::id>(kThreads * kJobs,
                                                std::this_thread::get_id()));
  std::vector<int> inOrder(kJobs);
  std::iota(inOrder.begin(), inOrder.end(), 0);
  for (const std::vector<int> &one : seen) EXPECT_EQ(one, inOrder);
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

// Slow jobs: a pass gives the loop back after its budget, and the rest
// follow in order in later passes.
TEST_F(DispatcherTest, APassStopsAfterItsTimeBudget) {
  constexpr int kJobs = 200;
  std::vector<int> order;
  for (int n = 0; n < kJobs; ++n) {
    m_dispatcher->post([&order, n] {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      order.push_back(n);
    });
  }
  uv_run(&m_loop, UV_RUN_NOWAIT);
  EXPECT_GT(order.size(), 0u);
  EXPECT_LT(order.size(), static_cast<size_t>(kJobs));
  while (order.size() < kJobs) uv_run(&m_loop, UV_RUN_ONCE);
  std::vector<int> inOrder(kJobs);
  std::iota(inOrder.begin(), inOrder.end(), 0);
  EXPECT_EQ(order, inOrder);
}

TEST_F(DispatcherTest, TheLoopStaysAliveOnlyWhileHeld) {
  m_dispatcher->release();
  EXPECT_EQ(uv_loop_alive(&m_loop), 0);
  m_dispatcher->hold();
  m_dispatcher->hold();
  m_dispatcher->release();
  EXPECT_NE(uv_loop_alive(&m_loop), 0);
  m_dispatcher->release();
  m_dispatcher->release();  // one too many changes nothing
  EXPECT_EQ(uv_loop_alive(&m_loop), 0);
}

// A job's captures are destroyed outside the dispatcher's lock.
TEST_F(DispatcherTest, AJobWhoseCapturesPostOnDestructionDoesNotDeadlock) {
  struct PostsWhenDestroyed {
    node_async_call *dispatcher;
    bool *ranFollowUp;
    ~PostsWhenDestroyed() {
      dispatcher->post([flag = ranFollowUp] { *flag = true; });
    }
  };
  bool ranFollowUp = false;
  std::shared_ptr<PostsWhenDestroyed> captured(
      new PostsWhenDestroyed{m_dispatcher.get(), &ranFollowUp});
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

}  // namespace

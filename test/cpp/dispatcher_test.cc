// node_async_call on a libuv loop of the test's own.
#include <gtest/gtest.h>
#include <uv.h>

#include <memory>
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
  }

  void TearDown() override {
    m_dispatcher.reset();
    // Lets the loop process the handle's close before the loop goes.
    uv_run(&m_loop, UV_RUN_NOWAIT);
    EXPECT_EQ(uv_loop_close(&m_loop), 0);
  }

  // One loop iteration, waiting for a wake-up if none is pending yet.
  void runOnce() { uv_run(&m_loop, UV_RUN_ONCE); }

  uv_loop_t m_loop{};
  std::unique_ptr<node_async_call> m_dispatcher;
};

TEST_F(DispatcherTest,
       JobsFromManyThreadsRunOnceEachOnTheLoopThreadInPostOrder) {
  constexpr int kThreads = 10;
  constexpr int kJobsPerThread = 200;
  // Written by the jobs only, so on the loop thread only.
  std::vector<std::vector<int>> seen(kThreads);
  std::vector<std::thread::id> ranOn;

  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&, t] {
      for (int n = 0; n < kJobsPerThread; ++n) {
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

  runOnce();  // everything posted before the loop ran, in one iteration

  ASSERT_EQ(ranOn.size(), static_cast<size_t>(kThreads * kJobsPerThread));
  for (std::thread::id id : ranOn) EXPECT_EQ(id, std::this_thread::get_id());
  for (const std::vector<int> &one : seen) {
    ASSERT_EQ(one.size(), static_cast<size_t>(kJobsPerThread));
    for (int n = 0; n < kJobsPerThread; ++n) {
      EXPECT_EQ(one[static_cast<size_t>(n)], n);
    }
  }
}

TEST_F(DispatcherTest, JobsPostedByAJobRunInTheSamePassAfterIt) {
  std::vector<int> order;
  m_dispatcher->post([&] {
    order.push_back(1);
    m_dispatcher->post([&] {
      order.push_back(3);
      m_dispatcher->post([&] { order.push_back(4); });
    });
  });
  m_dispatcher->post([&] { order.push_back(2); });

  uv_run(&m_loop, UV_RUN_NOWAIT);  // one pass, no waiting
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(DispatcherTest, APostFromTheLoopThreadNeverRunsInsidePost) {
  bool ran = false;
  EXPECT_EQ(m_dispatcher->post([&] { ran = true; }), 0);
  EXPECT_FALSE(ran);
  runOnce();
  EXPECT_TRUE(ran);
}

TEST_F(DispatcherTest, AThrowingJobDoesNotStopTheOnesAfterIt) {
  std::vector<int> order;
  m_dispatcher->post([&] {
    order.push_back(1);
    throw std::runtime_error("job failed");
  });
  m_dispatcher->post([&] { order.push_back(2); });
  runOnce();
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

// What a job captures is destroyed outside the dispatcher's lock, so even a
// destructor that posts cannot deadlock.
TEST_F(DispatcherTest, AJobWhoseCapturesPostOnDestructionDoesNotDeadlock) {
  struct PostsWhenDestroyed {
    node_async_call *dispatcher;
    bool *ranFollowUp;
    ~PostsWhenDestroyed() {
      bool *flag = ranFollowUp;
      dispatcher->post([flag] { *flag = true; });
    }
  };
  bool ranFollowUp = false;
  {
    auto captured = std::make_shared<PostsWhenDestroyed>(
        PostsWhenDestroyed{m_dispatcher.get(), &ranFollowUp});
    m_dispatcher->post([captured] {});
  }
  runOnce();
  EXPECT_TRUE(ranFollowUp);
}

TEST(DispatcherDestruction, QueuedJobsAreDiscardedUnrunAndReleased) {
  uv_loop_t loop{};
  ASSERT_EQ(uv_loop_init(&loop), 0);
  auto dispatcher = std::make_unique<node_async_call>(&loop);
  auto token = std::make_shared<int>(0);
  bool ran = false;
  for (int n = 0; n < 5; ++n) {
    dispatcher->post([token, &ran] { ran = true; });
  }
  EXPECT_EQ(token.use_count(), 6);

  dispatcher.reset();
  EXPECT_EQ(token.use_count(), 1) << "discarded jobs are destroyed at once";

  uv_run(&loop, UV_RUN_NOWAIT);  // processes the handle's close
  EXPECT_FALSE(ran);
  EXPECT_EQ(uv_loop_close(&loop), 0) << "the wake-up handle is closed";
}

}  // namespace

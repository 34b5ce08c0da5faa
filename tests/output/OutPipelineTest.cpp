// The ways out's pipeline: a consumer that holds its frames drops the newer ones, counted,
// while another way out goes on taking every frame and a push never waits.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "OutPipeline.h"

namespace {

constexpr int kW = 64;
constexpr int kH = 48;
constexpr int kFrames = 20;

// Whether `done` holds within 10 s.
template <typename Done>
bool WaitFor(Done done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

COutPipeline::Branch Way(const char* name, const char* chain, bool encoded = false)
{
    COutPipeline::Branch branch;
    branch.name = name;
    branch.chain = chain;
    branch.encoded = encoded;
    branch.queued = encoded ? 100 : 2;
    return branch;
}

TEST(OutPipeline, AStuckWayOutDropsItsFramesCountedAndHoldsUpNoOther)
{
    gst_init(nullptr, nullptr);
    COutPipeline pipeline({kW, kH}, 33);
    std::string error;
    // Frames 10 s apart, each shown on time: the second holds this consumer up for 10 s.
    ASSERT_TRUE(pipeline.AddBranch(Way("stuck", "fakesink sync=true async=false"), error)) << error;
    ASSERT_TRUE(pipeline.AddBranch(Way("taker", "fakesink sync=false async=false"), error))
        << error;
    const std::vector<uint8_t> frame(kW * kH * 4, 0x80);
    for (int i = 0; i < kFrames; ++i) {
        pipeline.Push(frame.data(), kW * 4, i * 10000000000LL);
        ASSERT_TRUE(WaitFor([&] { return pipeline.SentSoFar("taker") == i + 1u; }))
            << "frame " << i << " never reached the other way out";
    }
    const COutPipeline::Counts stuck = pipeline.RemoveBranch("stuck");
    EXPECT_LE(stuck.sent, 3u);
    EXPECT_EQ(stuck.sent + stuck.dropped, static_cast<unsigned long long>(kFrames));
    const COutPipeline::Counts taker = pipeline.RemoveBranch("taker");
    EXPECT_EQ(taker.sent, static_cast<unsigned long long>(kFrames));
    EXPECT_EQ(taker.dropped, 0u);
}

TEST(OutPipeline, AWayOutThatFailsIsReportedAndStopsNoOther)
{
    gst_init(nullptr, nullptr);
    COutPipeline pipeline({kW, kH}, 33);
    std::string error;
    // Every write to /dev/full fails with a full disk.
    ASSERT_TRUE(pipeline.AddBranch(
        Way("full", "filesink location=/dev/full buffer-mode=unbuffered async=false"), error))
        << error;
    ASSERT_TRUE(pipeline.AddBranch(Way("taker", "fakesink sync=false async=false"), error))
        << error;
    const std::vector<uint8_t> frame(kW * kH * 4, 0x80);
    std::vector<COutPipeline::Failure> failures;
    for (int i = 0; i < kFrames; ++i) {
        pipeline.Push(frame.data(), kW * 4, i * 33000000LL);
        ASSERT_TRUE(WaitFor([&] { return pipeline.SentSoFar("taker") == i + 1u; }))
            << "frame " << i << " never reached the other way out";
        for (const auto& failure : pipeline.Failures()) failures.push_back(failure);
    }
    ASSERT_TRUE(WaitFor([&] {
        for (const auto& failure : pipeline.Failures()) failures.push_back(failure);
        return !failures.empty();
    }));
    EXPECT_EQ(failures.front().branch, "full");
    EXPECT_NE(failures.front().why.find("No space left"), std::string::npos)
        << failures.front().why;
}

TEST(OutPipeline, AnEncodedWayOutJoiningLateBeginsAtOnceWithAKeyFrame)
{
    gst_init(nullptr, nullptr);
    COutPipeline pipeline({kW, kH}, 33);
    std::string error;
    ASSERT_TRUE(pipeline.AddBranch(Way("first", "fakesink sync=false async=false", true), error))
        << error;
    std::vector<uint8_t> frame(kW * kH * 4, 0x80);
    auto push = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            frame[0] = static_cast<uint8_t>(i);
            pipeline.Push(frame.data(), kW * 4, i * 33000000LL);
            ASSERT_TRUE(WaitFor([&] { return pipeline.SentSoFar("first") == i + 1u; }))
                << "frame " << i << " never came out of the encoder";
        }
    };
    push(0, 10);
    // Key frames come every 60 frames by themselves: this one comes because it was asked for.
    ASSERT_TRUE(pipeline.AddBranch(Way("late", "fakesink sync=false async=false", true), error))
        << error;
    push(10, 20);
    const COutPipeline::Counts counts = pipeline.RemoveBranch("late");
    EXPECT_GE(counts.sent, 9u);
    EXPECT_EQ(counts.sent + counts.dropped, 10u);
    EXPECT_EQ(pipeline.RemoveBranch("first").sent, 20u);
}

}  // namespace

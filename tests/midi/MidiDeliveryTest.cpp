// The hand-off of MIDI input from a reader's thread to the user-interface thread (here the
// test's main thread), without a device: the reader never waits for that thread, what does
// not fit the ring is counted, and a system-exclusive buffer still finds its way back.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <thread>
#include <vector>

#include "MidiDelivery.h"

namespace {

using namespace std::chrono_literals;

class Receiver : public MidiReceiver {
public:
    void PostShortMessage(uint32_t message) override
    {
        messages.push_back(message);
        if (messages.size() == 1 && onFirst) onFirst();
    }
    void PostLongData(MidiHeader* header) override
    {
        longData.emplace_back(header->data, header->data + header->bytesRecorded);
    }

    std::function<void()> onFirst;
    std::vector<uint32_t> messages;
    std::vector<std::vector<uint8_t>> longData;
};

// One event per batch, as RtMidi's ALSA reader calls back.
void Send(CMidiDelivery& delivery, std::vector<uint8_t> bytes)
{
    if (!delivery.BeginBatch()) return;
    delivery.Receive(bytes.data(), bytes.size());
    delivery.EndBatch();
}

uint32_t Controller(int i) { return 0xB0 | 0x07 << 8 | static_cast<uint32_t>(i % 128) << 16; }

TEST(MidiDelivery, TheReaderNeverWaitsForTheUserInterfaceThread)
{
    Receiver receiver;
    CMidiDelivery delivery(&receiver);
    ASSERT_TRUE(delivery.IsValid());
    delivery.Start();
    uint8_t block[64] = {};
    MidiHeader header;
    header.data = block;
    header.bufferLength = sizeof block;
    constexpr int kSent = 3 * static_cast<int>(CMidiDelivery::kRingSize);

    // The user-interface thread is held inside the delivery of the first message, where it
    // queues a buffer as the window does, while a reader sends three rings' worth and then
    // system-exclusive data.
    Send(delivery, {0xB0, 0x07, 0x00});
    receiver.onFirst = [&] {
        ASSERT_EQ(delivery.Prepare(&header), MIDI_NOERROR);
        ASSERT_EQ(delivery.Add(&header), MIDI_NOERROR);
        std::promise<void> sent;
        std::thread reader([&] {
            for (int i = 1; i < kSent; ++i) {
                const uint32_t message = Controller(i);
                Send(delivery, {0xB0, 0x07, static_cast<uint8_t>(message >> 16)});
            }
            Send(delivery, {0xF0, 0x01, 0x02, 0xF7});
            sent.set_value();
        });
        if (sent.get_future().wait_for(60s) != std::future_status::ready) {
            // The reader hangs on this thread: nothing sane is left to run.
            std::fprintf(stderr, "the reader waited for the user-interface thread\n");
            std::abort();
        }
        reader.join();
    };
    delivery.Drain();

    // The ring kept its last places for buffers: what did not fit is counted, in order.
    const std::size_t fitted = 1 + CMidiDelivery::kRingSize - CMidiDelivery::kMaxBuffers;
    ASSERT_EQ(receiver.messages.size(), fitted);
    EXPECT_EQ(delivery.Delivered(), fitted);
    EXPECT_EQ(delivery.Dropped(), kSent - fitted);
    for (std::size_t i = 0; i < fitted; ++i) {
        ASSERT_EQ(receiver.messages[i], Controller(static_cast<int>(i))) << "message " << i;
    }
    EXPECT_EQ(receiver.longData, (std::vector<std::vector<uint8_t>>{{0xF0, 0x01, 0x02, 0xF7}}));
    delivery.Stop();
    EXPECT_EQ(receiver.longData.size(), 1u) << "a buffer comes back once";
}

}  // namespace

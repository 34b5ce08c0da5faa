// OSC: every address over a real loopback socket, the loopback rule, the feedback arriving at
// a socket of the test's own, and a flood of random and mutated packets.
#include <gtest/gtest.h>
#include <lo/lo_lowlevel.h>
#include <poll.h>
#include <sys/socket.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <random>
#include <string>
#include <vector>

#include "OscFeedback.h"
#include "OscReceiver.h"
#include "RecordingTarget.h"
#include "SocketAddress.h"
#include "UdpSocket.h"

namespace {

using Packet = std::vector<char>;
using Calls = std::vector<std::string>;

// A message with no argument, or one of type "i", "f" or "s".
Packet Osc(const std::string& path, const std::string& type = "", double value = 0)
{
    lo_message message = lo_message_new();
    if (type == "i") lo_message_add_int32(message, static_cast<int32_t>(value));
    if (type == "f") lo_message_add_float(message, static_cast<float>(value));
    if (type == "s") lo_message_add_string(message, "x");
    Packet packet(lo_message_length(message, path.c_str()));
    lo_message_serialise(message, path.c_str(), packet.data(), nullptr);
    lo_message_free(message);
    return packet;
}

sockaddr_storage Sender(const std::string& address)
{
    sockaddr_storage from{};
    EXPECT_TRUE(SocketAddressOf(address, 5000, from)) << address;
    return from;
}

void SendAll(const std::string& hostPort, const std::vector<Packet>& packets)
{
    UdpSocket out;
    std::string error;
    ASSERT_TRUE(out.Connect(hostPort, error)) << error;
    for (const Packet& packet : packets)
        ASSERT_EQ(::send(out.Fd(), packet.data(), packet.size(), 0),
                  static_cast<ssize_t>(packet.size()));
}

// The target's calls, once there are `count` of them.
Calls WaitForCalls(RecordingTarget& target, size_t count)
{
    Calls calls;
    // A wait that ends short shows in the caller's comparison of the calls.
    static_cast<void>(QTest::qWaitFor(
        [&] {
            for (std::string& call : target.Take()) calls.push_back(std::move(call));
            return calls.size() >= count;
        },
        30000));
    return calls;
}

}  // namespace

TEST(OscReceiver, EveryAddressActsOverLoopbackAndBadPacketsAreCounted)
{
    RecordingTarget target;
    OscReceiver receiver(target, false);
    std::string error;
    ASSERT_TRUE(receiver.Open("127.0.0.1", 0, error)) << error;
    const std::vector<std::pair<Packet, std::string>> cases = {
        {Osc("/kovra/effect", "i", 12), "effect 12"},
        {Osc("/kovra/effect/up"), "effect step 1"},
        {Osc("/kovra/effect/down"), "effect step -1"},
        {Osc("/kovra/ctrl1", "i", 300), "ctrl1 127"},
        {Osc("/kovra/ctrl2", "f", 0.5), "ctrl2 64"},
        {Osc("/kovra/ctrl1", "f", -2.0), "ctrl1 0"},
        {Osc("/kovra/memory/a/1", "i", 1), "key 0 0 down"},
        {Osc("/kovra/memory/b/8", "i", 0), "key 1 7 up"},
        {Osc("/kovra/store", "i", 1), "store down"},
        {Osc("/kovra/fullscreen"), "toggle FULLSCREEN"},
        {Osc("/kovra/send", "i", 1), "set SEND on"},
        {Osc("/kovra/stream"), "toggle STREAM"},
        {Osc("/kovra/record", "i", 0), "set RECORD off"},
        {Osc("/kovra/clip/a/speed", "f", 2.0), "clip 0 speed 2.000"},
        {Osc("/kovra/clip/b/speed", "f", 9.0), "clip 1 speed 4.000"},
        {Osc("/kovra/clip/a/pause"), "toggle CLIPAPAUSE"},
        {Osc("/kovra/clip/b/restart"), "clip 1 restart"},
        {Osc("/kovra/clip/b/reverse"), "toggle CLIPBREVERSE"},
    };
    Packet oversized = Osc("/kovra/store", "i", 1);  // a valid start, cut where it is taken
    oversized.resize(OscReceiver::kMaxPacketBytes + 1);
    const std::vector<Packet> bad = {Osc("/kovra/effect", "f", 3),
                                     Osc("/kovra/effect/up", "i", 1),
                                     Osc("/kovra/ctrl1", "s"),
                                     Osc("/kovra/store"),
                                     Osc("/kovra/memory/a/9", "i", 1),
                                     Osc("/kovra/clip/c/pause"),
                                     Osc("/kovra/clip/a/speed", "s"),
                                     Osc("/other", "i", 1),
                                     Packet{'/', 'k', 'o'},
                                     oversized};
    std::vector<Packet> packets = bad;
    Calls expected;
    for (const auto& [packet, call] : cases) {
        packets.push_back(packet);
        expected.push_back(call);
    }
    SendAll("127.0.0.1:" + std::to_string(receiver.Port()), packets);

    EXPECT_EQ(WaitForCalls(target, expected.size()), expected);
    EXPECT_TRUE(QTest::qWaitFor([&] { return receiver.GetCounts().bad >= bad.size(); }, 30000));
    EXPECT_EQ(receiver.GetCounts().acted, cases.size());
    EXPECT_EQ(receiver.GetCounts().bad, bad.size());
}

TEST(OscReceiver, ListensOnIpv6AndATakenPortIsAResult)
{
    RecordingTarget target;
    OscReceiver receiver(target, false);
    std::string error;
    ASSERT_TRUE(receiver.Open("::1", 0, error)) << error;
    SendAll("[::1]:" + std::to_string(receiver.Port()), {Osc("/kovra/record")});
    EXPECT_EQ(WaitForCalls(target, 1), Calls{"toggle RECORD"});

    OscReceiver second(target, false);
    EXPECT_FALSE(second.Open("::1", receiver.Port(), error));
    EXPECT_NE(error.find(std::to_string(receiver.Port())), std::string::npos) << error;
    EXPECT_FALSE(second.Open("localhost", 9999, error));  // numeric addresses only
}

// A flood larger than the socket holds, whatever its size: the window gets its turn between
// batches, and every datagram is either handled, counted bad, or counted as dropped by the
// full socket.
TEST(OscReceiver, AFloodLeavesTheWindowItsTurnAndCountsWhatItDrops)
{
    struct FloodTarget : RecordingTarget {
        void StepEffect(int delta) override
        {
            if (delta < 0) {  // the later messages that carry the drop count
                ++downs;
                return;
            }
            // The window's next turn, asked for while the socket still holds the flood.
            if (ups++ == 0) QTimer::singleShot(0, [this] { upsAtTurn = ups; });
        }
        uint64_t ups = 0;
        uint64_t downs = 0;
        uint64_t upsAtTurn = 0;
    } target;
    OscReceiver receiver(target, false);
    std::string error;
    ASSERT_TRUE(receiver.Open("127.0.0.1", 0, error)) << error;
    const std::string to = "127.0.0.1:" + std::to_string(receiver.Port());
    constexpr uint64_t kFlood = 5000;
    SendAll(to, std::vector<Packet>(kFlood, Osc("/kovra/effect/up")));
    // Then oversized datagrams whose bytes alone pass the socket's receive buffer (which its
    // socket shares with any new one), so that the socket overflows however large it is.
    UdpSocket probe;
    ASSERT_TRUE(probe.Bind("127.0.0.1", 0, error)) << error;
    int buffer = 0;
    socklen_t length = sizeof buffer;
    ASSERT_EQ(::getsockopt(probe.Fd(), SOL_SOCKET, SO_RCVBUF, &buffer, &length), 0);
    const Packet big(60000, 'x');
    const uint64_t bigs = static_cast<uint64_t>(buffer) / big.size() + 3;
    SendAll(to, std::vector<Packet>(bigs, big));
    const OscReceiver::Counts& counts = receiver.GetCounts();
    // The kernel tells the drops with the next datagram the socket takes; the first of these
    // may find the socket still full.
    uint64_t downsSent = 0;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            if (target.ups + target.downs + counts.bad + counts.dropped ==
                kFlood + bigs + downsSent)
                return true;
            SendAll(to, {Osc("/kovra/effect/down")});
            ++downsSent;
            return false;
        },
        30000))
        << target.ups << " handled, " << counts.bad << " bad, " << counts.dropped << " dropped";
    EXPECT_GT(counts.dropped, 0u);
    EXPECT_GT(target.upsAtTurn, 0u);
    EXPECT_LE(target.upsAtTurn, static_cast<uint64_t>(OscReceiver::kPacketsPerWake * 2));
    EXPECT_GT(target.ups, target.upsAtTurn);
}

// A client of another make: liblo's own command-line sender.
TEST(OscReceiver, OscsendDrivesIt)
{
    const QString oscsend = QStandardPaths::findExecutable("oscsend");
    if (oscsend.isEmpty()) GTEST_SKIP() << "oscsend (liblo-tools) is not installed";
    RecordingTarget target;
    OscReceiver receiver(target, false);
    std::string error;
    ASSERT_TRUE(receiver.Open("127.0.0.1", 0, error)) << error;
    const QStringList to{"127.0.0.1", QString::number(receiver.Port())};
    ASSERT_EQ(QProcess::execute(oscsend, to + QStringList{"/kovra/ctrl1", "f", "1.0"}), 0);
    ASSERT_EQ(QProcess::execute(oscsend, to + QStringList{"/kovra/fullscreen"}), 0);
    EXPECT_EQ(WaitForCalls(target, 2), (Calls{"ctrl1 127", "toggle FULLSCREEN"}));
}

// Made-up senders: only loopback ones may use the ways out, unless remote outputs are allowed.
TEST(OscReceiver, WaysOutOnlyFromLoopbackUnlessAllowed)
{
    for (const char* local : {"127.0.0.1", "127.3.2.1", "::1", "::ffff:127.0.0.1"})
        EXPECT_TRUE(IsLoopback(Sender(local))) << local;
    for (const char* remote : {"192.0.2.1", "2001:db8::1", "::ffff:192.0.2.1", "::"})
        EXPECT_FALSE(IsLoopback(Sender(remote))) << remote;

    RecordingTarget target;
    OscReceiver strict(target, false);
    OscReceiver lenient(target, true);
    for (const std::string path : {"/kovra/send", "/kovra/stream", "/kovra/record"}) {
        Packet packet = Osc(path);
        strict.HandlePacket(packet.data(), packet.size(), Sender("192.0.2.1"));
        strict.HandlePacket(packet.data(), packet.size(), Sender("::1"));
        lenient.HandlePacket(packet.data(), packet.size(), Sender("192.0.2.1"));
    }
    Packet fullScreen = Osc("/kovra/fullscreen");
    strict.HandlePacket(fullScreen.data(), fullScreen.size(), Sender("192.0.2.1"));
    EXPECT_EQ(target.Take(), (Calls{"toggle SEND", "toggle SEND", "toggle STREAM", "toggle STREAM",
                                    "toggle RECORD", "toggle RECORD", "toggle FULLSCREEN"}));
    EXPECT_EQ(strict.GetCounts().refused, 3u);
    EXPECT_EQ(lenient.GetCounts().acted, 3u);
}

TEST(OscFeedback, ValuesArriveAtTheFeedbackAddress)
{
    UdpSocket listener;
    std::string error;
    ASSERT_TRUE(listener.Bind("127.0.0.1", 0, error)) << error;
    OscFeedback feedback;
    ASSERT_TRUE(feedback.Open("127.0.0.1:" + std::to_string(listener.LocalPort()), error)) << error;
    feedback.SendEffect(7);
    feedback.SendCtrl(2, 99);
    feedback.SendMemory(1, 2, true);
    feedback.SendToggle(Action::Record, false);
    feedback.SendClip(1, ClipControl::Pause, 1);
    feedback.SendClip(0, ClipControl::Speed, 127);

    Calls received;
    while (received.size() < 6) {
        // However long the next datagram takes; ctest's timeout bounds it.
        pollfd ready{listener.Fd(), POLLIN, 0};
        ASSERT_EQ(::poll(&ready, 1, -1), 1);
        char bytes[256];
        const ssize_t size = ::recv(listener.Fd(), bytes, sizeof bytes, 0);
        lo_message message = lo_message_deserialise(bytes, static_cast<size_t>(size), nullptr);
        ASSERT_NE(message, nullptr);
        const lo_arg* value = lo_message_get_argv(message)[0];
        received.push_back(std::string(bytes) + " " + lo_message_get_types(message) + " " +
                           (*lo_message_get_types(message) == 'f' ? std::to_string(value->f)
                                                                  : std::to_string(value->i)));
        lo_message_free(message);
    }
    EXPECT_EQ(received, (Calls{"/kovra/effect i 7", "/kovra/ctrl2 i 99", "/kovra/memory/b/3 i 1",
                               "/kovra/record i 0", "/kovra/clip/b/pause i 1",
                               "/kovra/clip/a/speed f 4.000000"}));
}

// Random bytes and valid messages with bytes flipped, cut or added: nothing crashes, every
// packet is counted one way or the other, and a valid message still acts afterwards.
TEST(OscReceiver, SurvivesAHundredThousandRandomPackets)
{
    RecordingTarget target;
    OscReceiver receiver(target, true);
    std::string error;
    ASSERT_TRUE(receiver.Open("127.0.0.1", 0, error)) << error;
    const std::vector<Packet> seeds = {Osc("/kovra/ctrl1", "f", 0.25), Osc("/kovra/effect", "i", 3),
                                       Osc("/kovra/memory/a/4", "i", 1), Osc("/kovra/stream")};
    std::mt19937 random(19);
    auto below = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
    constexpr int kPackets = 100000;
    for (int i = 0; i < kPackets; ++i) {
        Packet packet;
        if (i % 3 == 0) {
            packet.resize(below(OscReceiver::kMaxPacketBytes + 64));
            for (char& byte : packet) byte = static_cast<char>(below(256));
            if (!packet.empty() && i % 2 == 0) packet[0] = '/';
        } else {
            packet = seeds[below(seeds.size())];
            for (size_t flips = below(4); flips > 0; --flips)
                packet[below(packet.size())] = static_cast<char>(below(256));
            if (i % 5 == 0) packet.resize(below(packet.size() + 1));
            if (i % 7 == 0) packet.resize(packet.size() + below(16), static_cast<char>(below(256)));
        }
        receiver.HandlePacket(packet.data(), packet.size(), Sender("192.0.2.1"));
    }
    const OscReceiver::Counts counts = receiver.GetCounts();
    EXPECT_EQ(counts.acted + counts.bad + counts.refused, static_cast<uint64_t>(kPackets));
    EXPECT_GT(counts.bad, static_cast<uint64_t>(kPackets / 2));
    target.Take();

    SendAll("127.0.0.1:" + std::to_string(receiver.Port()), {Osc("/kovra/ctrl2", "i", 42)});
    EXPECT_EQ(WaitForCalls(target, 1), Calls{"ctrl2 42"});
}

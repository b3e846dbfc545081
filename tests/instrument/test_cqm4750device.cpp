#include "instrument/cqm4750device.h"

#include "scriptlink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

class DeviceTest : public ::testing::Test {
protected:
    CScriptLink link;
    CQm4750Device device{link};

    void ReplyOk(std::string payload = {}, std::uint8_t statusB = 0) {
        CScriptLink::Reply r;
        r.Payload = std::move(payload);
        r.StatusB = statusB;
        link.Replies.push_back(r);
    }
};

struct CommandCase {
    const char* Name;
    std::function<bool(CQm4750Device&)> Run;
    std::uint8_t Id;
    std::string Payload;
};

TEST_F(DeviceTest, EveryCommandSendsItsFrame) {
    const CommandCase cases[] = {
        {"SetSampleCurrent", [](CQm4750Device& d) { return d.SetSampleCurrent(40.0f); }, 1, "8 40 "},
        {"StartCycle", [](CQm4750Device& d) { return d.StartCycle(0); }, 5, "0 "},
        {"SetCurrentSource", [](CQm4750Device& d) { return d.SetCurrentSource(1, 2); }, 6, "1 2 "},
        {"SendConnect", [](CQm4750Device& d) { return d.SendConnect(1); }, 16, "1 "},
        {"SelectSample", [](CQm4750Device& d) { return d.SelectSample(2); }, 18, "2 "},
        {"SetPid ch1", [](CQm4750Device& d) { return d.SetPid(1, 300.0f, 2.0f); }, 22, "1 0 26.84 2 "},
        {"SetTemperature 300", [](CQm4750Device& d) { return d.SetTemperature(300.0f); }, 26, "26.84 "},
        {"SetTemperature 373.16", [](CQm4750Device& d) { return d.SetTemperature(373.16f); }, 26, "100 "},
        // 273.16 is not exact in a float while the subtracted constant is a double
        {"SetTemperature 273.16", [](CQm4750Device& d) { return d.SetTemperature(273.16f); }, 26,
         "3.66211e-06 "},
        {"SetMode OFF", [](CQm4750Device& d) { return d.SetMode(0); }, 6, "0 0 "},
        {"SetMode DC+", [](CQm4750Device& d) { return d.SetMode(1); }, 6, "1 0 "},
        {"SetMode DC-", [](CQm4750Device& d) { return d.SetMode(2); }, 6, "1 1 "},
        {"SetMode AC", [](CQm4750Device& d) { return d.SetMode(3); }, 6, "1 2 "},
        {"ReadCycleState",
         [](CQm4750Device& d) {
             std::array<std::uint8_t, 5> s{};
             return d.ReadCycleState(s);
         },
         7, ""},
        {"ReadTelemetry",
         [](CQm4750Device& d) {
             _sTelemetry t;
             return d.ReadTelemetry(0, t);
         },
         8, "0 "},
    };
    for (const CommandCase& c : cases) {
        link.SentFrames.clear();
        link.Calls.clear();
        ReplyOk(c.Id == 7 ? "07 00 00 00 00;" : c.Id == 8 ? "1 2 3 4 5 6 7 8 9 01 10 11 12 00;" : "");
        EXPECT_TRUE(c.Run(device)) << c.Name;
        ASSERT_EQ(link.SentFrames.size(), 1u) << c.Name;
        EXPECT_EQ(link.SentFrames[0].Id, c.Id) << c.Name;
        EXPECT_EQ(link.SentFrames[0].Payload, c.Payload) << c.Name;
        EXPECT_EQ(link.Calls, (std::vector<std::string>{"purge", "tx " + std::to_string(c.Id), "rx 500"}))
            << c.Name;
        EXPECT_EQ(device.GetErrorFlags(), 0u) << c.Name;
    }
}

TEST_F(DeviceTest, SetModeOutsideTheTableSendsNothing) {
    EXPECT_FALSE(device.SetMode(4));
    EXPECT_FALSE(device.SetMode(-1));
    EXPECT_TRUE(link.Calls.empty());
}

TEST_F(DeviceTest, ExchangeErrorBits) {
    // failed send: no receive attempted
    link.TxResults = {false};
    EXPECT_FALSE(device.StartCycle());
    EXPECT_EQ(device.GetErrorFlags(), ERR_TX | ERR_RETRY);
    EXPECT_EQ(link.Calls, (std::vector<std::string>{"purge", "tx 5"}));

    // failed receive
    link.Calls.clear();
    EXPECT_FALSE(device.StartCycle());
    EXPECT_EQ(device.GetErrorFlags(), ERR_RX | ERR_RETRY);

    // wrong id: ERR_ID alone, and the next exchange starts clean
    CScriptLink::Reply wrong;
    wrong.Id = 9;
    link.Replies.push_back(wrong);
    EXPECT_FALSE(device.StartCycle());
    EXPECT_EQ(device.GetErrorFlags(), ERR_ID);
    ReplyOk();
    EXPECT_TRUE(device.StartCycle());
    EXPECT_EQ(device.GetErrorFlags(), 0u);
}

TEST_F(DeviceTest, ExchangeAttempts) {
    // a failed send and a failed receive use up two attempts; the third succeeds
    link.TxResults = {false, true, true};
    link.Replies = {CScriptLink::Reply::Failed(), CScriptLink::Reply{}};
    CDeviceFrame frame(fiStartCycle);
    frame.Put<std::uint16_t>(0);
    EXPECT_TRUE(device.Exchange(frame, 3));
    EXPECT_EQ(device.GetErrorFlags(), ERR_TX | ERR_RX);
    EXPECT_EQ(frame.TxLen, 2);

    // a wrong id is not retried
    link.Calls.clear();
    CScriptLink::Reply wrong;
    wrong.Id = 1;
    link.Replies = {wrong, CScriptLink::Reply{}};
    CDeviceFrame again(fiStartCycle);
    EXPECT_FALSE(device.Exchange(again, 3));
    EXPECT_EQ(device.GetErrorFlags(), ERR_ID);
    EXPECT_EQ(link.Calls.size(), 3u);

    // no attempts: nothing sent
    link.Calls.clear();
    CDeviceFrame none(fiStartCycle);
    EXPECT_FALSE(device.Exchange(none, 0));
    EXPECT_EQ(device.GetErrorFlags(), ERR_RETRY);
    EXPECT_TRUE(link.Calls.empty());
}

TEST_F(DeviceTest, ExchangeRefusedWhileAnotherRuns) {
    std::atomic<bool> inside{false}, release{false};
    link.OnTx = [&] {
        inside = true;
        while (!release)
            std::this_thread::yield();
    };
    ReplyOk();
    std::thread first([&] { EXPECT_TRUE(device.StartCycle()); });
    while (!inside)
        std::this_thread::yield();
    link.OnTx = nullptr; // not read by the refused exchange: it never reaches the link
    EXPECT_FALSE(device.SetMode(0));
    release = true;
    first.join();
    EXPECT_EQ(link.SentFrames.size(), 1u);
}

TEST_F(DeviceTest, ReadsTelemetry) {
    ReplyOk("25 26 1500 40 0 0 30 0 0 31 20 0 0 0;", 0x0A);
    _sTelemetry t;
    ASSERT_TRUE(device.ReadTelemetry(0, t));
    EXPECT_FLOAT_EQ(t.T1, 298.16f);
    EXPECT_FLOAT_EQ(t.T2, 299.16f);
    EXPECT_FLOAT_EQ(t.U, 1500.0f);
    EXPECT_FLOAT_EQ(t.I, 40.0f);
    EXPECT_FLOAT_EQ(t.T3, 273.16f);
    EXPECT_FLOAT_EQ(t.T4, 273.16f);
    EXPECT_FLOAT_EQ(t.Pid[0].T, 303.16f);
    EXPECT_EQ(t.Pid[0].Flags, PID_ACTIVE | PID_HEAT | PID_READY);
    EXPECT_FLOAT_EQ(t.Pid[1].T, 293.16f);
    EXPECT_EQ(t.Pid[1].Flags, 0);
    EXPECT_EQ(t.StatusB, 0x0A);
    std::uint8_t status[2];
    device.GetStatusBytes(status);
    EXPECT_EQ(status[1], 0x0A);
}

TEST_F(DeviceTest, BadRepliesLeaveTheRecordUntouched) {
    _sTelemetry before;
    before.T1 = 123.0f;
    struct Case {
        const char* Name;
        CScriptLink::Reply Reply;
        std::uint32_t Flags;
    };
    CScriptLink::Reply wrongId;
    wrongId.Id = 7;
    wrongId.Payload = "25 26 1500 40 0 0 30 0 0 31 20 0 0 0;";
    CScriptLink::Reply shortReply;
    shortReply.Payload = "25 26 1500;";
    CScriptLink::Reply garbled;
    garbled.Payload = "25 26 x 40 0 0 30 0 0 31 20 0 0 0;";
    CScriptLink::Reply nan;
    nan.Payload = "nan 26 1500 40 0 0 30 0 0 31 20 0 0 0;";
    CScriptLink::Reply failed = CScriptLink::Reply::Failed();
    const Case cases[] = {
        {"wrong id", wrongId, ERR_ID},
        {"short", shortReply, ERR_DATA},
        {"garbled", garbled, ERR_DATA},
        {"not finite", nan, ERR_DATA},
        {"no reply", failed, ERR_RX | ERR_RETRY},
    };
    for (const Case& c : cases) {
        link.Replies = {c.Reply};
        _sTelemetry t = before;
        EXPECT_FALSE(device.ReadTelemetry(0, t)) << c.Name;
        EXPECT_EQ(t.T1, 123.0f) << c.Name;
        EXPECT_EQ(device.GetErrorFlags(), c.Flags) << c.Name;
    }
}

TEST_F(DeviceTest, ReplyLongerThanTheBufferIsCut) {
    // 128 digits and a claimed length of 255: read no further than the buffer, and a
    // cycle-state reply without its bytes is not taken for a state
    CScriptLink::Reply r;
    r.Payload = std::string(128, '1');
    r.ClaimedLength = 255;
    link.Replies = {r};
    std::array<std::uint8_t, 5> state{9, 9, 9, 9, 9};
    EXPECT_FALSE(device.ReadCycleState(state));
    EXPECT_EQ(device.GetErrorFlags(), ERR_DATA);
    EXPECT_EQ(state[0], 9);

    ReplyOk("03 00 00 00 00");
    EXPECT_TRUE(device.ReadCycleState(state));
    EXPECT_EQ(state[0], 3);
}

TEST_F(DeviceTest, BinaryRepliesShorterThanTheirArgumentsAreRefused) {
    ArgTextMode = 0;
    ReplyOk(std::string("\x07\x00\x00\x00", 4));
    std::array<std::uint8_t, 5> state{9, 9, 9, 9, 9};
    EXPECT_FALSE(device.ReadCycleState(state));
    ReplyOk(std::string("\x07\x01\x02\x03\x04", 5));
    EXPECT_TRUE(device.ReadCycleState(state));
    ArgTextMode = 1;
    EXPECT_EQ(state, (std::array<std::uint8_t, 5>{7, 1, 2, 3, 4}));
}

TEST_F(DeviceTest, OpenAndClose) {
    EXPECT_FALSE(device.IsOpen());
    link.OpenResult = false;
    EXPECT_FALSE(device.Open(1));
    EXPECT_FALSE(device.IsOpen());
    link.OpenResult = true;
    EXPECT_TRUE(device.Open(1));
    EXPECT_TRUE(device.IsOpen());
    link.Calls.clear();
    EXPECT_FALSE(device.Open(0)); // already open: the library is not touched
    EXPECT_TRUE(link.Calls.empty());

    link.CloseResult = false;
    EXPECT_FALSE(device.Close());
    EXPECT_TRUE(device.IsOpen());
    link.CloseResult = true;
    EXPECT_TRUE(device.Close());
    EXPECT_FALSE(device.IsOpen());
    EXPECT_TRUE(device.Close()); // closes whatever the flag says
    EXPECT_EQ(link.Calls, (std::vector<std::string>{"close", "close", "close"}));
}

} // namespace

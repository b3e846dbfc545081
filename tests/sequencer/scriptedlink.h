#pragma once

#include "instrument/cframelink.h"
#include "instrument/uargcodec.h"

#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

// A frame link that answers every request with an empty reply of the same id and keeps a log of
// the requests as "id: payload" ("26: 26.84 "). Replies to frames 7 and 8 can be queued; a
// queued failure makes the receive fail.
class ScriptedLink : public CFrameLink {
public:
    struct Frame {
        std::uint8_t Id = 0;
        std::string Payload;
    };
    struct Reply {
        bool Ok = true;
        std::string Payload;
    };

    std::vector<Frame> Sent;
    std::deque<Reply> CycleReplies;     // frame 7; empty queue: cycle state 7
    std::deque<Reply> TelemetryReplies; // frame 8; empty queue: an all-zero record

    void GetIntrCount(std::int32_t& count) override { count = 1; }
    void GetIntrDescription(std::int32_t, char* text) override { std::strcpy(text, "scripted"); }
    bool OpenIntr(std::int32_t) override { return true; }
    bool CloseIntr() override { return true; }
    void PurgeIntr() override {}
    bool TxFrame(std::uint8_t id, std::uint8_t length, const std::uint8_t* payload) override {
        Sent.push_back({id, std::string(reinterpret_cast<const char*>(payload), length)});
        return true;
    }
    bool RxFrame(std::uint32_t, std::uint8_t& statusA, std::uint8_t& statusB, std::uint8_t& id,
                 std::uint8_t& length, std::uint8_t* payload) override {
        statusA = 0;
        statusB = 0;
        id = Sent.back().Id;
        Reply reply;
        if (id == 7)
            reply = Take(CycleReplies, CycleReply(7));
        else if (id == 8)
            reply = Take(TelemetryReplies, TelemetryReply(0, 0, 0, 0, 0, 0));
        if (!reply.Ok)
            return false;
        length = static_cast<std::uint8_t>(reply.Payload.size());
        std::memcpy(payload, reply.Payload.data(), reply.Payload.size());
        return true;
    }

    // Text-form reply payloads.
    static Reply CycleReply(int state) {
        std::string text;
        for (int i = 0; i < 5; ++i)
            text += Hex(i == 0 ? state : 0);
        return {true, text};
    }
    // Temperatures in kelvin, as the record will hold them.
    static Reply TelemetryReply(double t1, double t2, double u, double i, double tamb, int flags0) {
        std::string text;
        for (double v : {t1 - 273.16, t2 - 273.16, u, i, 0.0, 0.0})
            text += Float(static_cast<float>(v));
        text += Float(static_cast<float>(tamb - 273.16)) + Float(0) + Float(0) + Hex(flags0);
        text += Float(0) + Float(0) + Float(0) + Hex(0);
        return {true, text};
    }

    // The requests with one frame id, payloads only.
    std::vector<std::string> PayloadsOf(std::uint8_t id) const {
        std::vector<std::string> out;
        for (const Frame& f : Sent)
            if (f.Id == id)
                out.push_back(f.Payload);
        return out;
    }
    // The ids of all requests in order.
    std::vector<int> Ids() const {
        std::vector<int> out;
        for (const Frame& f : Sent)
            out.push_back(f.Id);
        return out;
    }

private:
    static Reply Take(std::deque<Reply>& queue, Reply fallback) {
        if (queue.empty())
            return fallback;
        Reply r = queue.front();
        queue.pop_front();
        return r;
    }
    static std::string Float(float v) {
        std::uint8_t buf[kArgScratchSize] = {};
        const int n = EncodeArg(buf, v);
        return std::string(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
    }
    static std::string Hex(int v) {
        std::uint8_t buf[kArgScratchSize] = {};
        const int n = EncodeArg(buf, static_cast<std::uint8_t>(v), true);
        return std::string(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
    }
};

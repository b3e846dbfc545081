#pragma once

#include "instrument/cframelink.h"

#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

// A frame link that records every call and answers from a script, for transcript tests.
class CScriptLink : public CFrameLink {
public:
    struct Sent {
        std::uint8_t Id;
        std::string Payload; // exactly the bytes sent
    };
    struct Reply {
        bool RxOk = true;
        std::uint8_t Id = 0; // 0: echo the id of the frame sent
        std::string Payload;
        std::uint8_t StatusA = 0;
        std::uint8_t StatusB = 0;
        int ClaimedLength = -1; // >= 0: the length reported, whatever the payload holds

        static Reply Failed() {
            Reply r;
            r.RxOk = false;
            return r;
        }
    };

    std::int32_t Count = 2;
    bool OpenResult = true;
    bool CloseResult = true;
    std::deque<bool> TxResults; // empty: every send succeeds
    std::deque<Reply> Replies;  // empty: every receive fails
    std::vector<Sent> SentFrames;
    std::vector<std::string> Calls; // "open 1", "close", "purge", "tx 7", "rx"
    std::function<void()> OnTx;     // runs inside TxFrame (contention tests)

    void GetIntrCount(std::int32_t& count) override { count = Count; }
    void GetIntrDescription(std::int32_t index, char* text) override {
        const std::string d = "Port " + std::to_string(index);
        std::memcpy(text, d.c_str(), d.size() + 1);
    }
    bool OpenIntr(std::int32_t index) override {
        Calls.push_back("open " + std::to_string(index));
        return OpenResult;
    }
    bool CloseIntr() override {
        Calls.push_back("close");
        return CloseResult;
    }
    void PurgeIntr() override { Calls.push_back("purge"); }
    bool TxFrame(std::uint8_t id, std::uint8_t length, const std::uint8_t* payload) override {
        Calls.push_back("tx " + std::to_string(id));
        if (OnTx)
            OnTx();
        bool ok = true;
        if (!TxResults.empty()) {
            ok = TxResults.front();
            TxResults.pop_front();
        }
        if (ok) {
            SentFrames.push_back({id, std::string(reinterpret_cast<const char*>(payload), length)});
            m_lastId = id;
        }
        return ok;
    }
    bool RxFrame(std::uint32_t timeout, std::uint8_t& statusA, std::uint8_t& statusB, std::uint8_t& id,
                 std::uint8_t& length, std::uint8_t* payload) override {
        Calls.push_back("rx " + std::to_string(timeout));
        if (Replies.empty())
            return false;
        const Reply r = Replies.front();
        Replies.pop_front();
        if (!r.RxOk)
            return false;
        statusA = r.StatusA;
        statusB = r.StatusB;
        id = r.Id ? r.Id : m_lastId;
        const std::size_t n = std::min<std::size_t>(r.Payload.size(), kMaxRxPayload);
        std::memcpy(payload, r.Payload.data(), n);
        length = static_cast<std::uint8_t>(r.ClaimedLength >= 0 ? r.ClaimedLength : static_cast<int>(n));
        return true;
    }

private:
    std::uint8_t m_lastId = 0;
};

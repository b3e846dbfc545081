#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

// The frame link below the instrument command set: one request frame out, one reply frame in.
// CQm4750Device talks only to this interface; the program's link (built-in simulator, later
// byte-stream endpoints), and the scripted links of the tests implement it.
class CFrameLink {
public:
    // Size of the caller's description buffer, including the terminating zero.
    static constexpr int kDescriptionSize = 256;
    // Largest reply payload a link delivers.
    static constexpr int kMaxRxPayload = 128;

    virtual ~CFrameLink() = default;

    // Writes the number of interfaces that can be opened, or -1 when none can be listed.
    virtual void GetIntrCount(std::int32_t& count) = 0;
    // Writes a zero-terminated description of interface index (0 .. count-1) into text, a
    // zero-filled buffer of kDescriptionSize bytes. An unknown index leaves the buffer as it is.
    virtual void GetIntrDescription(std::int32_t index, char* text) = 0;
    // Opens interface index; later frames go to it. True on success.
    virtual bool OpenIntr(std::int32_t index) = 0;
    // Closes the open interface. True when the link is now closed.
    virtual bool CloseIntr() = 0;
    // Discards input pending from earlier frames, so that the next receive returns the reply to
    // the frame sent next.
    virtual void PurgeIntr() = 0;
    // Sends one frame. True when it has been sent.
    virtual bool TxFrame(std::uint8_t id, std::uint8_t length, const std::uint8_t* payload) = 0;
    // Receives one whole reply frame within timeout (500 is passed by the command set; the unit is
    // the link's). On success the status bytes, id, length (at most kMaxRxPayload) and payload
    // (a buffer of at least kMaxRxPayload bytes) are written; on failure the outputs are not
    // relied on.
    virtual bool RxFrame(std::uint32_t timeout, std::uint8_t& statusA, std::uint8_t& statusB,
                         std::uint8_t& id, std::uint8_t& length, std::uint8_t* payload) = 0;

protected:
    // What GetIntrDescription writes: the description, cut to the buffer, and its zero.
    static void CopyDescription(std::string_view description, char* text) {
        const std::size_t n = std::min(description.size(), static_cast<std::size_t>(kDescriptionSize - 1));
        std::memcpy(text, description.data(), n);
        text[n] = 0;
    }
};

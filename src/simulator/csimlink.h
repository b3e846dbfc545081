#pragma once

#include "instrument/cframelink.h"
#include "simulator/cqm4750sim.h"

#include <memory>
#include <string>
#include <vector>

// A frame link to a simulated instrument in the same process: one interface, "Built-in simulator".
// Replies come back at once; a frame that gets no reply makes the next receive fail at once
// instead of waiting out the time-out.
class CSimLink : public CFrameLink {
public:
    explicit CSimLink(CQm4750Sim& sim) : m_sim(sim) {}

    void GetIntrCount(std::int32_t& count) override { count = 1; }
    void GetIntrDescription(std::int32_t index, char* text) override;
    bool OpenIntr(std::int32_t index) override;
    bool CloseIntr() override;
    void PurgeIntr() override { m_pending = false; }
    bool TxFrame(std::uint8_t id, std::uint8_t length, const std::uint8_t* payload) override;
    bool RxFrame(std::uint32_t timeout, std::uint8_t& statusA, std::uint8_t& statusB, std::uint8_t& id,
                 std::uint8_t& length, std::uint8_t* payload) override;

    bool IsOpen() const { return m_open; }

private:
    CQm4750Sim& m_sim;
    bool m_open = false;
    bool m_pending = false;
    _sSimReply m_reply;
};

// The program's link: a list of interfaces, each a frame link of its own. Interface 0 is always
// the built-in simulator, described as "Built-in simulator"; byte-stream endpoints (TCP, serial)
// are added behind it with AddInterface. Opening an interface closes the one open before.
class CPortLink : public CFrameLink {
public:
    static constexpr const char* kSimulatorDescription = "Built-in simulator";

    // The clock must outlive the link; it drives the built-in simulator.
    explicit CPortLink(CSimClock& clock, _sSimConfig config = _sSimConfig::Defaults(),
                       std::uint64_t seed = 1);
    ~CPortLink() override;

    // Appends an interface; returns its index.
    std::int32_t AddInterface(std::string description, std::unique_ptr<CFrameLink> link);

    // The built-in simulator (interface 0), for its speed, faults and sample descriptions.
    CQm4750Sim& GetSimulator() { return *m_sim; }
    // Index of the open interface, or -1.
    std::int32_t GetOpenIndex() const { return m_open; }

    void GetIntrCount(std::int32_t& count) override;
    void GetIntrDescription(std::int32_t index, char* text) override;
    bool OpenIntr(std::int32_t index) override;
    bool CloseIntr() override;
    void PurgeIntr() override;
    bool TxFrame(std::uint8_t id, std::uint8_t length, const std::uint8_t* payload) override;
    bool RxFrame(std::uint32_t timeout, std::uint8_t& statusA, std::uint8_t& statusB, std::uint8_t& id,
                 std::uint8_t& length, std::uint8_t* payload) override;

private:
    struct Interface {
        std::string Description;
        std::unique_ptr<CFrameLink> Link;
    };

    std::unique_ptr<CQm4750Sim> m_sim;
    std::vector<Interface> m_interfaces;
    std::int32_t m_open = -1;
};

#include "simulator/csimlink.h"

#include <cstring>

// --- CSimLink ------------------------------------------------------------------------------------

void CSimLink::GetIntrDescription(std::int32_t index, char* text) {
    if (index == 0)
        CopyDescription(CPortLink::kSimulatorDescription, text);
}

bool CSimLink::OpenIntr(std::int32_t index) {
    if (index != 0)
        return false;
    m_open = true;
    m_pending = false;
    return true;
}

bool CSimLink::CloseIntr() {
    m_open = false;
    m_pending = false;
    return true;
}

bool CSimLink::TxFrame(std::uint8_t id, std::uint8_t length, const std::uint8_t* payload) {
    if (!m_open)
        return false;
    m_pending = m_sim.HandleFrame(id, length, payload, m_reply);
    return true;
}

bool CSimLink::RxFrame(std::uint32_t /*timeout*/, std::uint8_t& statusA, std::uint8_t& statusB,
                       std::uint8_t& id, std::uint8_t& length, std::uint8_t* payload) {
    if (!m_open || !m_pending)
        return false;
    m_pending = false;
    statusA = m_reply.StatusA;
    statusB = m_reply.StatusB;
    id = m_reply.Id;
    length = m_reply.Length;
    std::memcpy(payload, m_reply.Payload.data(), m_reply.Length);
    return true;
}

// --- CPortLink -----------------------------------------------------------------------------------

CPortLink::CPortLink(CSimClock& clock, _sSimConfig config, std::uint64_t seed)
    : m_sim(std::make_unique<CQm4750Sim>(clock, std::move(config), seed)) {
    m_interfaces.push_back({kSimulatorDescription, std::make_unique<CSimLink>(*m_sim)});
}

CPortLink::~CPortLink() {
    // Endpoints refer to the simulator: close and free them first.
    CloseIntr();
    m_interfaces.clear();
}

std::int32_t CPortLink::AddInterface(std::string description, std::unique_ptr<CFrameLink> link) {
    m_interfaces.push_back({std::move(description), std::move(link)});
    return static_cast<std::int32_t>(m_interfaces.size() - 1);
}

void CPortLink::GetIntrCount(std::int32_t& count) {
    count = static_cast<std::int32_t>(m_interfaces.size());
}

void CPortLink::GetIntrDescription(std::int32_t index, char* text) {
    if (index >= 0 && index < static_cast<std::int32_t>(m_interfaces.size()))
        CopyDescription(m_interfaces[static_cast<std::size_t>(index)].Description, text);
}

bool CPortLink::OpenIntr(std::int32_t index) {
    if (index < 0 || index >= static_cast<std::int32_t>(m_interfaces.size()))
        return false;
    if (m_open >= 0 && !CloseIntr())
        return false;
    // Each endpoint is a link of its own with a single interface.
    if (!m_interfaces[static_cast<std::size_t>(index)].Link->OpenIntr(0))
        return false;
    m_open = index;
    return true;
}

bool CPortLink::CloseIntr() {
    if (m_open < 0)
        return true;
    if (!m_interfaces[static_cast<std::size_t>(m_open)].Link->CloseIntr())
        return false;
    m_open = -1;
    return true;
}

void CPortLink::PurgeIntr() {
    if (m_open >= 0)
        m_interfaces[static_cast<std::size_t>(m_open)].Link->PurgeIntr();
}

bool CPortLink::TxFrame(std::uint8_t id, std::uint8_t length, const std::uint8_t* payload) {
    return m_open >= 0 && m_interfaces[static_cast<std::size_t>(m_open)].Link->TxFrame(id, length, payload);
}

bool CPortLink::RxFrame(std::uint32_t timeout, std::uint8_t& statusA, std::uint8_t& statusB, std::uint8_t& id,
                        std::uint8_t& length, std::uint8_t* payload) {
    return m_open >= 0 && m_interfaces[static_cast<std::size_t>(m_open)].Link->RxFrame(
                              timeout, statusA, statusB, id, length, payload);
}

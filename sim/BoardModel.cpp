#include "sim/BoardModel.h"

#include "sim/SimDevice.h"
#include "sim/SuperIo.h"

namespace bypass::sim {
namespace {

// What a read answers where no device decodes the port: the bus floats high.
std::uint32_t Floating(unsigned width)
{
    return width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
}

} // namespace

BoardModel::BoardModel(int type, unsigned segments)
    : m_type(type)
    , m_relays(segments, Relay::Normal)
{
}

BoardModel::~BoardModel() = default;

void BoardModel::Attach(SimDevice& device)
{
    device.ReportTo(m_rules);
    m_devices.push_back(&device);
}

void BoardModel::AttachChip(SuperIoChip& chip)
{
    Attach(chip);
    m_chips.push_back(&chip);
}

std::uint32_t BoardModel::Read(std::uint32_t port, unsigned width)
{
    for (SimDevice* device : m_devices) {
        if (device->Decodes(port))
            return device->Read(port, width);
    }
    return Floating(width);
}

void BoardModel::Write(std::uint32_t port, unsigned width, std::uint32_t value)
{
    for (SimDevice* device : m_devices) {
        if (device->Decodes(port)) {
            device->Write(port, width, value);
            return;
        }
    }
}

std::uint8_t BoardModel::In8(std::uint16_t port) { return std::uint8_t(Read(port, 1)); }
std::uint16_t BoardModel::In16(std::uint16_t port) { return std::uint16_t(Read(port, 2)); }
std::uint32_t BoardModel::In32(std::uint32_t port) { return Read(port, 4); }
void BoardModel::Out8(std::uint16_t port, std::uint8_t value) { Write(port, 1, value); }
void BoardModel::Out16(std::uint16_t port, std::uint16_t value) { Write(port, 2, value); }
void BoardModel::Out32(std::uint32_t port, std::uint32_t value) { Write(port, 4, value); }

Relay BoardModel::SegmentRelay(unsigned segment) const { return m_relays.at(segment); }

std::vector<Relay> BoardModel::Relays() const
{
    std::vector<Relay> relays;
    for (unsigned segment = 0; segment < SegmentCount(); ++segment)
        relays.push_back(SegmentRelay(segment));
    return relays;
}

bool BoardModel::SuperIoInConfigMode() const
{
    for (const SuperIoChip* chip : m_chips) {
        if (chip->InConfigMode())
            return true;
    }
    return false;
}

void BoardModel::SetRelay(unsigned segment, Relay relay)
{
    if (segment < m_relays.size())
        m_relays[segment] = relay;
}

void BoardModel::SetAllRelays(Relay relay)
{
    for (Relay& each : m_relays)
        each = relay;
}

} // namespace bypass::sim

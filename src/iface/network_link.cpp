// SPDX-License-Identifier: GPL-3.0-or-later
#include "iface/network_link.h"

#include "core/pump.h"
#include "iface/logging.h"

#include <span>

namespace meridan::iface {

NetworkLink::NetworkLink(LinkEnv &env, LinkTraits traits, DpramMap map, std::unique_ptr<DriverLibrary> driver, int32_t handle)
    : Link(env, std::move(traits), map), driver_(std::move(driver)), handle_(handle)
{
}

bool NetworkLink::lock()
{
    Pump &pump = env_.pump;
    const qint64 start = pump.nowMs();
    while (locked_) {
        if (pump.nowMs() - start >= kLockWaitMs) {
            qCWarning(lcDriver) << "DP-RAM access lock not given back within" << kLockWaitMs << "ms";
            return false;
        }
        pump.processEvents();
        if (locked_)
            pump.sleepMs(1);
    }
    locked_ = true;
    return true;
}

uint8_t NetworkLink::getByte(uint32_t address)
{
    if (!lock())
        return 0;
    const uint8_t v = driver_->PCI_GetByteEx(address, handle_);
    unlock();
    return v;
}

void NetworkLink::setByte(uint32_t address, uint8_t value)
{
    if (!lock())
        return;
    driver_->PCI_SetByteEx(address, value, handle_);
    unlock();
}

bool NetworkLink::putJob(const Record &rec)
{
    return (driver_->PCI_PutCommandEx(rec[7] + 7, rec.span(), handle_) & 0xFF) == 1;
}

bool NetworkLink::getMessage()
{
    return (driver_->PCI_GetMeldeEx(255, env_.mbuf, handle_) & 0xFF) == 1;
}

void NetworkLink::getMultiByte(uint16_t address, uint16_t count, uint16_t offset)
{
    auto &m = env_.mbuf;
    if (offset >= m.size() || !lock())
        return;
    const std::span<uint8_t> dst(m.data() + offset, m.size() - offset);
    driver_->PCI_GetMultiByteEx(address, count, dst, handle_);
    unlock();
}

} // namespace meridan::iface

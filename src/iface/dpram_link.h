// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Links that reach the master's DP-RAM directly, mapped through the driver
// library: the Tessel card on PCI, a board in a VME slot, the Corvet board.
#include "iface/driver.h"
#include "iface/link.h"

#include <memory>

namespace meridan::iface {

class DpramLink : public Link {
public:
    // `tessel`: the Tessel card or a VME board, whose processors are loaded
    // with their firmware before a download; the Corvet keeps its own.
    DpramLink(LinkEnv &env, LinkTraits traits, DpramMap map, std::unique_ptr<DriverLibrary> driver, bool tessel);

    uint8_t getByte(uint32_t address) override { return driver_->PCI_GetByte(address); }
    void setByte(uint32_t address, uint8_t value) override { driver_->PCI_SetByte(address, value); }
    void close(bool) override { driver_->unmap(); }
    bool loadsFirmware() const override { return tessel_ && map_.loadRequest >= 0; }
    int32_t loadFirmwareCpu40(const QString &image) override { return driver_->PCI_LoadCPU40(image); }
    int32_t loadFirmwareCpu331(const QString &image) override { return driver_->PCI_LoadCPU331(image); }

    DriverLibrary &driver() { return *driver_; }

private:
    std::unique_ptr<DriverLibrary> driver_;
    bool tessel_;
};

} // namespace meridan::iface

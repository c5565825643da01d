// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A link to a network board through the driver library's Ex functions: each
// DP-RAM byte, job and message is one exchange on the TCP connection.
#include "iface/driver.h"
#include "iface/link.h"

#include <memory>

namespace meridan::iface {

// How long a DP-RAM access waits for another one to give the lock back.
constexpr int kLockWaitMs = 5000;

class NetworkLink : public Link {
public:
    NetworkLink(LinkEnv &env, LinkTraits traits, DpramMap map, std::unique_ptr<DriverLibrary> driver, int32_t handle);

    uint8_t getByte(uint32_t address) override;
    void setByte(uint32_t address, uint8_t value) override;
    bool putJob(const Record &job) override;
    bool getMessage() override;
    // A failed exchange (no reply in time, a dead or confused connection)
    // loses the board: the driver has closed the connection by then.
    bool lost() const override { return driver_->networkFailed(); }
    QString faultText() const override { return driver_->failure(); }
    bool replyMissing() const override { return driver_->replyMissing(); }
    int transferMs(int) const override { return 5; }
    void close(bool) override { driver_->PCI_DeInitEx(handle_); }
    int32_t burnFile(const QString &path) override { return driver_->PCI_BurnEx(path, handle_); }
    int32_t readConfigFile(const QString &path) override { return driver_->PCI_ReadConfEx(path, handle_); }

    // Block read into the message buffer from `offset`, never beyond its end.
    void getMultiByte(uint16_t address, uint16_t count, uint16_t offset);

    DriverLibrary &driver() { return *driver_; }

private:
    // Keeps two DP-RAM accesses from interleaving on the connection when a
    // wait inside one lets another start; false when the lock was not given
    // back in time.
    bool lock();
    void unlock() { locked_ = false; }

    std::unique_ptr<DriverLibrary> driver_;
    int32_t handle_;
    bool locked_ = false;
};

} // namespace meridan::iface

// SPDX-License-Identifier: GPL-3.0-or-later
// Paces bytes to a serial line speed: 8N1 takes ten bit times per byte.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace meridan::sim {

class LinePacer {
public:
    explicit LinePacer(int baud) : baud_(baud) {}

    // A new burst: the first byte may leave at once.
    void restart(std::int64_t nowNs)
    {
        last_ = nowNs;
        budget_ = 1.0;
    }
    // How many of `queued` bytes may go out now; the caller reports what it wrote.
    std::size_t allowance(std::int64_t nowNs, std::size_t queued)
    {
        if (baud_ <= 0)
            return queued;
        budget_ += static_cast<double>(nowNs - last_) * baud_ / 10.0 / 1e9;
        last_ = nowNs;
        // Never save up more than one line buffer's worth while the host is not reading.
        budget_ = std::min(budget_, 64.0 + static_cast<double>(queued));
        return std::min(queued, static_cast<std::size_t>(budget_));
    }
    void spent(std::size_t n) { budget_ -= static_cast<double>(n); }
    int baud() const { return baud_; }

private:
    int baud_;
    std::int64_t last_ = 0;
    double budget_ = 0;
};

} // namespace meridan::sim

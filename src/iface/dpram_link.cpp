// SPDX-License-Identifier: GPL-3.0-or-later
#include "iface/dpram_link.h"

namespace meridan::iface {

DpramLink::DpramLink(LinkEnv &env, LinkTraits traits, DpramMap map, std::unique_ptr<DriverLibrary> driver, bool tessel)
    : Link(env, std::move(traits), map), driver_(std::move(driver)), tessel_(tessel)
{
}

} // namespace meridan::iface

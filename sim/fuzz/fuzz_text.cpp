// SPDX-License-Identifier: GPL-3.0-or-later
// Text and file inputs: bus files, zelpci.cfg, configuration files for the burn call.
#include "dp1.h"
#include "simbus.h"
#include "zelcfg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace meridan::sim;
    std::string text(reinterpret_cast<const char *>(data), size);
    std::string err;
    if (auto bus = SimBus::parse(text, &err))
        for (const auto &[s, slave] : bus->slaves)
            decodeIoLengths(slave.cfg);
    ZelCfg::parse(text, &err);
    ZelCfg::hostPort(text);
    Eeprom eeprom;
    Bytes file(data, data + size);
    burnConfigFile(eeprom, file);
    configFileFromEeprom(eeprom);
    viewSlave(file);
    decodeIoLengths(file);
    return 0;
}

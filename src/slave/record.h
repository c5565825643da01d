#pragma once
// The slave record: header bytes 0..7, then the DP slave parameter set
// (Slave_Para_Len, flags, Prm_Data, Cfg_Data, Add_Tab, Slave_User_Data).
// The variable blocks follow each other without gaps, so every position after
// the user parameters depends on the lengths before it.
#include "config/image.h"

#include <QString>
#include <vector>

namespace meridan {

// U, C and D as the record's own length bytes give them. Valid only right
// after they were read; every routine recomputes before it moves bytes.
struct SlaveLayout {
    int u = 0; // User_Prm_Data length: byte 25 - 9
    int c = 0; // Cfg_Data length: byte (34 + U) - 2
    int d = 0; // Slave_User_Data length: byte (42 + U + C) - 2

    static SlaveLayout of(const Record &rec);
    int cfgStart() const { return 35 + u; }
    int addTab() const { return 37 + u + c; }      // input offset word
    int userData() const { return 43 + u + c; }    // GSD code, name, module list
};

struct IoLengths {
    int inputLength = 0;  // bytes
    int outputLength = 0;
    int inputOffset = 0;
    int outputOffset = 0;
};

// Input and output lengths from the identifier bytes (compact and special
// format), offsets from the address table.
IoLengths DecodeIoLengths(const Record &rec);
// The same walk over a plain list of identifier bytes.
void AddIoLengths(const uint8_t *cfg, int count, int &inputLength, int &outputLength);

// The module numbers in the module list (255 + next byte for numbers above 254).
std::vector<int> ModuleList(const Record &rec);

} // namespace meridan

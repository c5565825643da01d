#pragma once
// What the bus operations and the status poll need from the connected master:
// the job and message mailbox, the station lists, single DP-RAM bytes and the
// few facts the connection found out. The interface layer implements it for
// every connection kind; with no interface every read gives 0 and writes are
// dropped.
#include <cstdint>

namespace meridan {

class MasterPort {
public:
    virtual ~MasterPort() = default;

    // Hands the job in the record buffer to the master: 1 taken, 0 busy.
    virtual uint8_t PutKomm() = 0;
    // Fetches one master message into the message buffer: 1 new message, 0 none.
    virtual uint8_t GetMeld() = 0;
    // 1 when the station's running bit is set.
    virtual uint8_t StationRun(int station) = 0;
    // 0xFF (red) when the station's diagnosis bit is set, 0xFF0000 (blue) when clear.
    virtual uint32_t StationDia(int station) = 0;
    virtual uint8_t GetByte(uint32_t address) = 0;
    virtual void SetByte(uint32_t address, uint8_t value) = 0;

    // The master stopped answering (serial time-out, dead network link).
    virtual bool serialTimeout() const = 0;
    // Reports the lost connection, closes it and falls back to no interface.
    virtual void ConnectionLost() = 0;

    // Firmware start and ready wait; true when the ready byte reads non-zero
    // on the way out (also after a ready time-out).
    virtual bool StartUp() = 0;
    // A wait that keeps the serial line drained (a plain wait elsewhere).
    virtual void SerialWait(int ms) = 0;
    // The next station poll asks for fresh live lists at once.
    virtual void resetLiveListRequest() = 0;

    virtual double firmwareVersion() const = 0;
    // The board type word: 0 marks the Corvet DP-RAM connection.
    virtual uint16_t boardType() const = 0;
    virtual uint32_t busStateAddress() const = 0;
    virtual uint32_t startByteAddress() const = 0;
    // Set for a Dromon or a Corvet.
    virtual bool boardVariant() const = 0;
};

} // namespace meridan

#pragma once
// The connected board as the bus operations and the status poll see it
// (MasterPort): every call goes to the interface routines of this folder on
// the context's board. Built once the bus operations' port interface is in
// the tree.
#if __has_include("busops/master_port.h")
#include "busops/master_port.h"

namespace meridan {
struct Context;
}

namespace meridan::iface {

class BoardPort : public MasterPort {
public:
    explicit BoardPort(Context &ctx) : ctx_(ctx) {}

    uint8_t PutKomm() override;
    uint8_t GetMeld() override;
    uint8_t StationRun(int station) override;
    uint32_t StationDia(int station) override;
    uint8_t GetByte(uint32_t address) override;
    void SetByte(uint32_t address, uint8_t value) override;
    bool serialTimeout() const override;
    void ConnectionLost() override;
    bool StartUp() override;
    void SerialWait(int ms) override;
    void resetLiveListRequest() override;
    double firmwareVersion() const override;
    uint16_t boardType() const override;
    uint32_t busStateAddress() const override;
    uint32_t startByteAddress() const override;
    bool boardVariant() const override;

private:
    Context &ctx_;
};

} // namespace meridan::iface
#endif

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The interface driver library: the PCI_* functions the program calls to reach
// a master board directly (a mapped DP-RAM) or over TCP/IP (the Ex functions).
//
// Direct backend: ROOT/driver/zelpci.cfg names a DP-RAM file per board; a real
// board behind a PLX bridge is found under /sys/bus/pci/devices by its ids and
// its resource file is mapped instead. Network backend: the driver protocol
// over one TCP connection; every exchange is bounded by the reply time-out.
//
// Results follow the conventions callers rely on: the Init functions return
// nonzero on success, PCI_InitEx returns 0 on success, loaders return 0 or an
// error code. Nothing here waits without a bound.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

class QTcpSocket;

namespace meridan {
class Pump;
class Root;
} // namespace meridan

namespace meridan::iface {

// Loader results besides the board's own status codes (0x10..0x16).
enum LoaderResult : int32_t {
    kLoadOk = 0,
    kLoadNoFile = 1,     // missing or unreadable image
    kLoadShortFile = 2,  // shorter than the 16-byte header
    kLoadNoAnswer = 3,   // the board did not take a loader command within 1000 ms
    kLoadNoBoard = 4,    // no DP-RAM is mapped
};

// PCI_InitEx results.
enum InitExResult : int32_t {
    kInitExOk = 0,
    kInitExBadTarget = 1,  // empty or malformed target name
    kInitExNoConnect = 2,  // nobody answered at host:port
    kInitExNoHello = 3,    // the peer is not a board speaking protocol version 1
};

class DriverLibrary {
public:
    // The version this library reports: 3.0 (0x0300). Callers require at
    // least 131 (2.03 in the original numbering).
    static constexpr uint32_t kVersion = 0x0300;
    static constexpr int kDefaultTimeoutMs = 1000;

    DriverLibrary(const Root &root, Pump &pump);
    ~DriverLibrary();
    DriverLibrary(const DriverLibrary &) = delete;
    DriverLibrary &operator=(const DriverLibrary &) = delete;

    // When the operation under way must end, on the pump's clock (0: none):
    // the boot loader's handshake gives up there.
    const qint64 *deadline = nullptr;

    // Where PCI_MapPciDevice looks for boards; tests give a fake tree.
    QString sysfsRoot = QStringLiteral("/sys/bus/pci/devices");

    // --- direct DP-RAM ----------------------------------------------------
    int32_t PCI_Init();
    int32_t PCI_VmeInit(int32_t one, int32_t slot);
    int32_t PCI_MapPciDevice(uint32_t deviceVendor, uint32_t subsystem, uint32_t windowSize);
    uint32_t PCI_GetDllVersion() const { return kVersion; }
    uint8_t PCI_GetByte(uint32_t addr) const;
    void PCI_SetByte(uint32_t addr, uint8_t value);
    void unmap();
    bool mapped() const { return mem_ != nullptr; }
    QString mappedFile() const { return file_.fileName(); }

    // --- network ------------------------------------------------------------
    int32_t PCI_InitEx(const QString &target);
    void PCI_DeInitEx(int32_t handle);
    void PCI_SetTimeOut(int32_t ms, int32_t handle);
    uint8_t PCI_GetByteEx(uint32_t addr, int32_t handle);
    void PCI_SetByteEx(uint32_t addr, uint8_t value, int32_t handle);
    // Copies `count` bytes from addr into dst (at most dst.size()); 1 on success.
    int32_t PCI_GetMultiByteEx(uint32_t addr, int32_t count, std::span<uint8_t> dst, int32_t handle);
    // Hands over job bytes 0 .. length (length = n + 7); low byte 1 when taken.
    int32_t PCI_PutCommandEx(int32_t length, std::span<const uint8_t> job, int32_t handle);
    // Low byte 1: a message (at most `most` data bytes) was copied into dst.
    int32_t PCI_GetMeldeEx(int32_t most, std::span<uint8_t> dst, int32_t handle);
    // Burns the configuration file at `path`; 0 when the board burnt it.
    int32_t PCI_BurnEx(const QString &path, int32_t handle);
    // Writes the board's EEPROM configuration to `path`: 1 written, 0 none on
    // the board, -1 no answer or file not writable.
    int32_t PCI_ReadConfEx(const QString &path, int32_t handle);
    bool connected() const;
    // True once an exchange failed (no reply in time, connection lost, a
    // reply that is not a frame). The connection is closed by then: a late
    // reply could otherwise be taken as the answer to the next request.
    bool networkFailed() const { return netFailed_; }
    // What went wrong last: why PCI_InitEx failed ("127.0.0.1:17301:
    // connection refused", "board busy: another program is connected"), or
    // why an exchange failed (no reply in time, a reply that cannot be the
    // answer). Empty while all is well.
    QString failure() const { return failure_; }
    // The last request went out and its reply did not come within the time
    // allowed: what the board made of it is unknown.
    bool replyMissing() const { return replyMissing_; }
    // The target of the last PCI_InitEx as messages name it ("Ketch at
    // 127.0.0.1:17302", or just "127.0.0.1:17301").
    QString endpoint() const { return endpoint_; }
    int timeoutMs() const { return timeoutMs_; }
    // The HELLO reply's firmware version byte and board name.
    uint8_t helloFirmware() const { return helloFirmware_; }
    QByteArray boardName() const { return boardName_; }

    // --- firmware loading (Tessel card boot loader) ----------------------------
    int32_t PCI_LoadCPU40(const QString &path);
    int32_t PCI_LoadCPU331(const QString &path);

    void Sleep(int ms);

private:
    bool mapFile(const QString &path, qint64 expectedSize, qint64 windowSize);
    QString findPciResource(uint32_t deviceVendor, uint32_t subsystem, uint32_t windowSize) const;
    int32_t load(const QString &path, uint8_t cpu);
    int32_t loaderCommand(uint8_t cmd);
    // One request, one reply. nullopt on any failure (then networkFailed()).
    std::optional<QByteArray> exchange(uint8_t type, const QByteArray &payload);
    // The reply of an exchange whose payload must be `size` bytes (-1: any);
    // any other size is a line fault that gives the connection up.
    std::optional<QByteArray> exchangeSized(uint8_t type, const QByteArray &payload, qsizetype size);
    void lineFault(const QString &what);
    bool ready(int32_t handle) const;
    void dropConnection();

    const Root &root_;
    Pump &pump_;
    QFile file_;
    uchar *mem_ = nullptr;
    qint64 size_ = 0;

    std::unique_ptr<QTcpSocket> sock_;
    QByteArray rx_;
    int timeoutMs_ = kDefaultTimeoutMs;
    bool netFailed_ = false;
    bool replyMissing_ = false;
    QString failure_;
    QString endpoint_; // the target as the messages name it
    uint8_t helloFirmware_ = 0;
    QByteArray boardName_;
};

} // namespace meridan::iface

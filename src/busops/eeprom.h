// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The EEPROM menu: "Burn" stores a configuration in the board's non-volatile
// memory so that the master starts from it at power-up, "Read" brings the
// board's configuration back into the program, "Erase" clears the memory.
//
// How a board keeps a configuration is its link's affair (traits().store):
// a network board takes and gives a configuration file through the driver
// library, a Corvet or Dromon master burns what it runs and answers read
// jobs, and a Ravelin on a serial line has its EEPROM written and read byte
// by byte, one page of 256 bytes per station.
#include "busops/commissioning.h"

#include <QString>
#include <functional>

namespace meridan {

class Eeprom {
public:
    Eeprom(Context &ctx, Commissioning &com);

    // Done when the board reported the configuration stored.
    BusOutcome Burn_Click();
    // Done when a configuration arrived and replaced the one in memory
    // (loaded: its slave records); on any failure the configuration in
    // memory stays as it was.
    BusOutcome Upload_Click();
    // Reads the board's configuration into `got` as Read does and changes
    // nothing else: the configuration in memory and the station list stay.
    // Done when a configuration with a master record arrived (loaded: its
    // slave records).
    BusOutcome ReadAside(ConfigImage &got);
    // Asks first; done when the master confirmed the erase.
    BusOutcome EE_Erase_Click();

    // The configuration in memory into the board's EEPROM, whatever its way:
    // a master that burns what it runs gets it downloaded first (which
    // restarts it, so a bus in Operate is asked about first, as every way
    // asks). Every wait ends at `deadlineMs`.
    BusOutcome StoreConfiguration(qint64 deadlineMs);

private:
    enum class Verdict { Good, Wrong, Dead };

    // The question before a master in Operate restarts: done to go ahead.
    Outcome MayRestart();
    Outcome MayBurnImage(iface::ConfigStore store);
    BusOutcome BurnNetwork();
    BusOutcome BurnByJob();
    BusOutcome BurnBytes();
    // One byte of the byte-wise verify, rewritten while it reads back wrong.
    Verdict Check(int station, uint16_t address, uint8_t expected);
    void StartMaster();

    // The read of Read and ReadAside: `take` gets a configuration that
    // arrived whole.
    using Take = std::function<void(const ConfigImage &)>;
    BusOutcome Fetch(const Take &take);
    BusOutcome UploadNetwork(const Take &take);
    BusOutcome UploadRecords(iface::ConfigStore store, const Take &take);
    bool UploadByJob(ConfigImage &got, int &loaded, int &failedAt);
    bool UploadBytes(ConfigImage &got, int &loaded, int &failedAt, int &skipped);
    // Replaces the configuration in memory and the station list.
    void Commit(const ConfigImage &got);

    bool Gone();
    // Hands `job` over within `budget` attempts; true when taken.
    bool Send(const Record &job, int budget);
    // Waits up to `budget` times 50 ms until `got`; ends early when the
    // board is gone.
    bool WaitReply(const bool &got, int budget);
    // The read-back walk under way with fast download chosen.
    bool FastWalk() const;
    // A fixed pause of the tick-paced walk; none in a fast one.
    void Settle(int ms);
    // One EEPROM byte; false when the line stopped answering (deadAt_ then
    // names the address).
    bool Write(uint16_t address, uint8_t value);
    bool Read(uint16_t address, uint8_t &value);

    Context &ctx_;
    Commissioning &com_;
    Connection &conn_;
    Panel &panel_;
    int deadAt_ = -1;
    int cutLength_ = 0; // the read stopped at a record longer than a job carries

};

} // namespace meridan

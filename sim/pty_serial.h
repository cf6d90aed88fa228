// A pty that stands for the simulated printer's serial line: bytes written to the slave
// (SlavePath(), e.g. /dev/pts/7) reach the printer's TCP server and its answers come back,
// so the same printer model, script and frame log serve both. The TCP link is made when the
// host first sends and again after the printer dropped it (a restart); bytes sent while the
// printer refuses connections are lost, as on a restarting printer.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace orvpw::sim {

class PtySerialBridge {
public:
    PtySerialBridge(std::string printer_address, uint16_t printer_port);
    ~PtySerialBridge();  // Stop()
    PtySerialBridge(const PtySerialBridge&) = delete;
    PtySerialBridge& operator=(const PtySerialBridge&) = delete;

    bool Start();
    void Stop();
    const std::string& SlavePath() const;
    std::string LastError() const;
    // The device disappears: the pty is closed while the host may still hold the slave.
    void Unplug();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvpw::sim

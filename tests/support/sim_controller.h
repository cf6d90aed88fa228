// White-box tests: the library's controller pointed at a simulated printer on
// 127.0.0.1:<free port>, in either command-set generation.
#pragma once
#include <gtest/gtest.h>

#include <memory>

#include "core/controller.h"
#include "diag/log.h"
#include "sim/sim_printer.h"

namespace testsupport {

// Starts a simulated printer of the given generation on a free loopback port.
inline std::unique_ptr<orvpw::sim::SimPrinter> StartSim(bool newer,
                                                        orvpw::sim::SimConfig config = {}) {
    config.address = "127.0.0.1";
    config.port = 0;
    config.newer = newer;
    auto sim = std::make_unique<orvpw::sim::SimPrinter>(config);
    EXPECT_TRUE(sim->Start()) << sim->LastError();
    return sim;
}

// Closes the port and points the controller at the simulated printer as an identified
// printer: network port type of the generation (newer boards 128, older boards 8), no
// identify due, short waits for the status request after a time-out.
inline void PointControllerAt(const orvpw::sim::SimPrinter& sim) {
    CKDCtrl& ctrl = KDCtrl();
    ctrl.KD_PrinterClose();
    ctrl.m_bFirstOpen = 0;
    ctrl.m_OpenType = 1;
    ctrl.m_PurgeNeeded = 0;
    ctrl.m_Waits.statusRequestOlderUs = 300000;
    ctrl.m_Waits.statusRequestNewerUs = 300000;
    ctrl.m_NetDevice.ForgetBoards();
    ctrl.m_NetDevice.m_NewerBoard = 0;
    uint8_t loopback[4] = {127, 0, 0, 1};
    ctrl.m_NetDevice.AddBoard(loopback, sim.Port());
    ctrl.m_NetDevice.SetDeviceName("127.0.0.1");
    ctrl.m_PortType = sim.Newer() ? KD_PORT_NE2 : KD_PORT_NET;
    ctrl.m_NewKDCL = sim.Newer() ? 1 : 0;
    ctrl.SetStatus(0);
}

// Writes every line of the library's log (level 3) to one file.
inline void LogEverythingTo(const std::string& path) {
    ASSERT_EQ(KD_SetLogPathFile(path.c_str()), 0);
    KD_LogState state = KD_GetLogState();
    state.level = 3;
    KD_SetLogState(state);
}

// Shortens the controller's pauses between tries so failure paths run in milliseconds.
inline void ShortenRetryWaits() {
    CKDCtrl& ctrl = KDCtrl();
    ctrl.m_Waits.transportRetryMs = 20;
    ctrl.m_Waits.resendPauseMs = 20;
    ctrl.m_Waits.openRetryMs = 10;
    ctrl.m_Waits.recoveryPauseMs = 20;
    ctrl.m_Waits.statusRequestOlderUs = 300000;
    ctrl.m_Waits.statusRequestNewerUs = 300000;
}

}  // namespace testsupport

// Port state of the controller: idle release, re-open on demand, closing on a new port type.
#include <gtest/gtest.h>

#include "core/controller.h"
#include "orvpw.h"
#include "platform/event_loop.h"
#include "sim/sim_printer.h"
#include "support/sim_controller.h"

namespace {

class PortStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim_ = testsupport::StartSim(true);
        ASSERT_TRUE(sim_->Running());
        testsupport::PointControllerAt(*sim_);
        CKDCtrl& ctrl = KDCtrl();
        ASSERT_EQ(ctrl.KD_PortCheck(1), 0);
    }
    void TearDown() override { KDCtrl().KD_PrinterClose(); }
    std::unique_ptr<orvpw::sim::SimPrinter> sim_;
};

TEST_F(PortStateTest, IdlePortIsReleasedAndReopenedByTheNextExport) {
    CKDCtrl& ctrl = KDCtrl();
    ctrl.m_Waits.idleReleaseMs = 50;
    ctrl.KD_BeginMsgWindow();
    ASSERT_TRUE(ctrl.CP_IsOpen());
    // The one-second timer runs while this thread, the loop's owner, waits.
    KD_PumpMessages(1300);
    EXPECT_FALSE(ctrl.CP_IsOpen());
    EXPECT_EQ(Card_Insert(), 0);
    EXPECT_TRUE(ctrl.CP_IsOpen());
    EXPECT_EQ(sim_->Connections(), 2u);
}

TEST_F(PortStateTest, BusyPortIsNotReleased) {
    CKDCtrl& ctrl = KDCtrl();
    ctrl.m_Waits.idleReleaseMs = 50;
    ctrl.KD_BeginMsgWindow();
    ctrl.m_ImageJobs = 1;
    KD_PumpMessages(1300);
    ctrl.m_ImageJobs = 0;
    EXPECT_TRUE(ctrl.CP_IsOpen());
}

TEST_F(PortStateTest, NewPortTypeClosesTheOpenPort) {
    EXPECT_EQ(SetConnectPort(KD_PORT_COM), 0);
    EXPECT_EQ(KDCtrl().m_PortType, KD_PORT_COM);
    KDCtrl().m_PortType = KD_PORT_NE2;
    EXPECT_FALSE(KDCtrl().CP_IsOpen());
}

TEST_F(PortStateTest, SearchWithNothingToFindEndsWithPortNotOpen) {
    CKDCtrl& ctrl = KDCtrl();
    ctrl.KD_PrinterClose();
    ctrl.m_PortType = KD_PORT_ALL;
    ctrl.m_RetryTimes = 1;
    EXPECT_EQ(ctrl.KD_PortCheck(1), ERR_DEV_NOT_OPENED);
}

}  // namespace

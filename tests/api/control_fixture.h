// A controller wired to a simulated printer of one generation and firmware version, and a
// runner for tables of export calls: arguments -> the commands sent -> status and outputs.
#pragma once
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/controller.h"
#include "diag/log.h"
#include "orvpw.h"
#include "sim/sim_printer.h"
#include "support/sim_controller.h"
#include "support/test_support.h"

namespace controltest {

using orvpw::sim::PrinterState;
using orvpw::sim::ScriptedAction;
using orvpw::sim::SimConfig;
using orvpw::sim::SimPrinter;

enum Generation { Older = 0, Newer = 1 };

// One command as sent, in readable form. Newer: "!SCV 17 00 00 00 07" (class, mnemonic,
// then the parameter bytes in hex); the frame's length field and CR are checked here.
// Older: the text between ESC and CR, bytes outside printable ASCII as \xNN.
inline std::string Render(const std::vector<uint8_t>& raw, bool newer) {
    if (raw.size() < 3 || raw.front() != 0x1B || raw.back() != 0x0D) return "<malformed>";
    std::string out;
    char hex[8];
    if (newer) {
        if (raw.size() < 10) return "<short>";
        const uint32_t length = (uint32_t{raw[5]} << 24) | (uint32_t{raw[6]} << 16) |
                                (uint32_t{raw[7]} << 8) | raw[8];
        if (length != raw.size() - 10) return "<bad length>";
        out.assign(raw.begin() + 1, raw.begin() + 5);
        for (size_t i = 9; i + 1 < raw.size(); ++i) {
            std::snprintf(hex, sizeof hex, " %02X", raw[i]);
            out += hex;
        }
        return out;
    }
    for (size_t i = 1; i + 1 < raw.size(); ++i) {
        if (raw[i] >= 0x20 && raw[i] < 0x7F) {
            out += static_cast<char>(raw[i]);
        } else {
            std::snprintf(hex, sizeof hex, "\\x%02X", raw[i]);
            out += hex;
        }
    }
    return out;
}

class ControlTest : public ::testing::Test {
protected:
    // Starts a printer of the generation with firmware `firmware` (136 = 1.36), lets the
    // controller read that version, then forgets the frames sent so far.
    void Connect(Generation generation, int firmware,
                 const std::function<void(PrinterState&)>& setup = {}) {
        const bool newer = generation == Newer;
        SimConfig config;
        orvpw::sim::SetFirmwareNumber(config.initial_state, firmware);
        if (setup) setup(config.initial_state);
        sim_ = testsupport::StartSim(newer, config);
        ASSERT_TRUE(sim_->Running());

        testsupport::LogEverythingTo(logFile_);

        testsupport::PointControllerAt(*sim_);
        CKDCtrl& ctrl = KDCtrl();
        ctrl.m_RetryTimes = 1;
        testsupport::ShortenRetryWaits();
        ctrl.m_bFwVersion = -1;
        ctrl.SetStatus(0);
        ASSERT_EQ(ctrl.KD_GetFwVersion(), firmware) << Log();
        ctrl.SetStatus(0);
        sim_->ClearFrames();
    }

    void Disconnect() {
        KDCtrl().KD_PrinterClose();
        if (sim_) sim_->Stop();
        sim_.reset();
        KD_SetLogPathFile(nullptr);
    }
    void TearDown() override { Disconnect(); }

    std::vector<std::string> Sent() const {
        std::vector<std::string> sent;
        for (const auto& frame : sim_->ReceivedFrames()) sent.push_back(Render(frame.bytes, sim_->Newer()));
        return sent;
    }
    PrinterState State() const { return sim_->State(); }
    std::string Log() const { return testsupport::ReadFile(logFile_); }
    int Status() const { return KDCtrl().LastStatus(); }

    // One row of an export table.
    struct Case {
        std::string name;
        Generation generation;
        int firmware;
        std::function<int()> call;               // the export call
        std::vector<std::string> sent;           // commands as Render() shows them
        int status;                              // last status afterwards (return 0 / -1)
        std::function<void()> check = {};        // parsed outputs, printer state
        std::function<void(PrinterState&)> setup = {};
        std::function<void(SimPrinter&)> script = {};
    };

    void RunTable(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name + (c.generation == Newer ? " [newer]" : " [older]") + " fw " +
                         std::to_string(c.firmware));
            Connect(c.generation, c.firmware, c.setup);
            if (HasFatalFailure()) return;
            if (c.script) c.script(*sim_);
            const int result = c.call();
            EXPECT_EQ(Status(), c.status);
            EXPECT_EQ(result, c.status == 0 ? 0 : -1);
            EXPECT_EQ(Sent(), c.sent);
            if (c.check) c.check();
            Disconnect();
        }
    }

    testsupport::TempFolder folder_;
    std::string logFile_ = folder_.File("control.log");
    std::unique_ptr<SimPrinter> sim_;
};

inline std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> bytes;
    for (int v : values) bytes.push_back(static_cast<uint8_t>(v));
    return bytes;
}

}  // namespace controltest

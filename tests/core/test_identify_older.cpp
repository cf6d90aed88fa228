// Identifying an older-form printer: version text, model codes, and the model-type query
// that must not recurse when the version is low.
#include <gtest/gtest.h>

#include "core/controller.h"
#include "sim/sim_printer.h"
#include "support/sim_controller.h"

namespace {

class OlderIdentifyTest : public ::testing::Test {
protected:
    void Start(const std::string& versionText, uint8_t modelType) {
        orvpw::sim::SimConfig config;
        config.initial_state.older_version = versionText;
        config.initial_state.model_type = modelType;
        sim_ = testsupport::StartSim(false, config);
        ASSERT_TRUE(sim_->Running());
        testsupport::PointControllerAt(*sim_);
        KDCtrl().m_bFwVersion = -1;
    }
    void TearDown() override { KDCtrl().KD_PrinterClose(); }
    std::unique_ptr<orvpw::sim::SimPrinter> sim_;
};

TEST_F(OlderIdentifyTest, VersionTextGivesTheNumberAndTheModelCode) {
    struct Case { const char* text; uint8_t modelType; int version; int model; };
    const Case cases[] = {{"V1.0.215", 1, 215, kOlderModelCodeWithType},
                          {"V1.0.215", 0, 215, kOlderModelCode}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Start(c.text, c.modelType);
        std::string version;
        int type = -1;
        int model = -1;
        ASSERT_EQ(KDCtrl().KD_GetPrinterInfo(&version, &type, &model), 0);
        EXPECT_EQ(version, c.text);
        EXPECT_EQ(KDCtrl().m_bFwVersion, c.version);
        EXPECT_EQ(type, 0);
        EXPECT_EQ(model, c.model);
        TearDown();
    }
}

TEST_F(OlderIdentifyTest, LowVersionAsksTheVersionOnceMoreAndStops) {
    Start("V1.0.050", 1);
    std::string version;
    int model = -1;
    ASSERT_EQ(KDCtrl().KD_GetPrinterInfo(&version, nullptr, &model), 0);
    EXPECT_EQ(KDCtrl().m_bFwVersion, 50);
    EXPECT_EQ(model, kOlderModelCode);  // no model-type query below version 124
    std::vector<std::string> commands;
    for (const auto& frame : sim_->ReceivedFrames()) commands.push_back(frame.command);
    EXPECT_EQ(commands, (std::vector<std::string>{"V", "V"}));
}

}  // namespace

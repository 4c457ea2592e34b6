// Step Debug: the typed fields, and single register requests to the unit
// the Slave box selects.

#include "ServiceTestSupport.h"

#include "maintenance/service/StepDebug.h"

#include <gtest/gtest.h>

using namespace tovrin;
using namespace tovrin::maintenance;
using namespace tovrin::test;

namespace {

TEST(StepFields, WithOrWithoutThePrefixTheSameNumber)
{
    EXPECT_EQ(parseStepHex("12"), 0x12u);
    EXPECT_EQ(parseStepHex("0x12"), 0x12u);
    EXPECT_EQ(parseStepHex("0X12"), 0x12u);
    EXPECT_EQ(parseStepHex("1_2"), 0x12u);
    EXPECT_EQ(parseStepHex("ffffffff"), 0xFFFFFFFFu);
    EXPECT_EQ(parseStepHex("1ffffffff"), std::nullopt);
    EXPECT_EQ(parseStepHex("0x"), std::nullopt);
    EXPECT_EQ(parseStepHex(""), std::nullopt);
    EXPECT_EQ(parseStepHex("x12"), std::nullopt);
}

TEST(StepFields, ShownWithThePrefixInLowerCaseAtLeastTwoDigits)
{
    EXPECT_EQ(stepHexText(0x5), "0x05");
    EXPECT_EQ(stepHexText(0xAB), "0xab");
    EXPECT_EQ(stepHexText(0x1234), "0x1234");
}

TEST(StepFields, OutOfRangeIsRefusedBeforeAnyRequest)
{
    EXPECT_FALSE(checkStepInput("100", "1", true, true).request);      // sensor registers are 0-ff
    EXPECT_TRUE(checkStepInput("100", "1", false, true).request);      // FPGA registers 0-ffff
    EXPECT_FALSE(checkStepInput("10000", "1", false, true).request);
    EXPECT_FALSE(checkStepInput("12", "100", false, true).request);    // a value is one byte
    EXPECT_FALSE(checkStepInput("12", "", false, true).request);
    EXPECT_TRUE(checkStepInput("12", "", false, false).request);       // a read needs no value
    EXPECT_FALSE(checkStepInput("zz", "1", false, false).request);
    EXPECT_TRUE(checkStepInput("zz", "1", false, false).problem.contains("not a hexadecimal number"));
}

class StepDebug : public tovrin::test::SimLinkTest {
protected:
    void TearDown() override
    {
        device::SelectedUnitIsSlave = 0;
        SimLinkTest::TearDown();
    }
    StepRequest request(const char* address, const char* value, bool sensor)
    {
        return *checkStepInput(address, value, sensor, true).request;
    }
};

TEST_F(StepDebug, SensorRequestsOnTheSlave)
{
    device::SelectedUnitIsSlave = 1;
    WireRecord wire(*frame);
    StepResult w = stepWrite(request("19", "3a", true));
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.outputText, "Slave: I2CWrite Addr: 0x0019  value: 0x3a");
    EXPECT_EQ(frame->sensorRegister(sim::Unit::Slave, 0x19), 0x3A);
    EXPECT_EQ(frame->sensorRegister(sim::Unit::Master, 0x19), 0x00);
    const StepResult r = stepRead(request("19", "0", true));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.value, 0x3A);
    EXPECT_EQ(r.outputText, "Slave: I2C_Read Addr: 0x0019  value: 0x3a");
    // Sensor write and read of the Slave, one command each (command table: 26 and 27).
    const auto commands = wire.commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].number(), wire::WriteSensorS);
    EXPECT_EQ(commands[0].payload[0], 0x19);
    EXPECT_EQ(commands[0].payload[1], 0x3A);
    EXPECT_EQ(commands[1].number(), wire::ReadSensorS);
}

TEST_F(StepDebug, FpgaReadUsesTheSingleRegisterRead)
{
    frame->setFpgaRegister(sim::Unit::Master, 0x0035, 0x0F);
    WireRecord wire(*frame);
    const StepResult r = stepRead(request("35", "0", false));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.outputText, "Master: FPGASingleRead Addr: 0x0035  value: 0x0f");
    ASSERT_EQ(wire.commands().size(), 1u);
    EXPECT_EQ(wire.commands()[0].number(), wire::ReadRegisterM);
}

struct Failure {
    const char* name;
    bool sensor;
    bool write;
    int command;
    const char* status;
    const char* output;
};
class StepDebugFailure : public StepDebug, public ::testing::WithParamInterface<Failure> {};

TEST_P(StepDebugFailure, RefusalGivesItsStatusAndOutputText)
{
    frame->answerNextWithStatus(0xFF, 1, GetParam().command);
    const StepRequest q = request("12", "34", GetParam().sensor);
    const StepResult r = GetParam().write ? stepWrite(q) : stepRead(q);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.statusText, GetParam().status);
    EXPECT_EQ(r.outputText, GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, StepDebugFailure,
    ::testing::Values(
        Failure{"SensorWrite", true, true, wire::WriteSensorM, "send message: write_i2c_reg err", "Master: I2CWrite error\n"},
        Failure{"FpgaWrite", false, true, wire::WriteRegisterM, "send message: write_reg err.", "Master: FPGAPortWrite error\n"},
        Failure{"SensorRead", true, false, wire::ReadSensorM, "send message: read_i2c_reg err.", "Master: I2C_Read error\n"},
        Failure{"FpgaRead", false, false, wire::ReadRegisterM, "send message: read_FPGASingle_reg err.",
                "Master: FPGASingleRead error\n"}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace

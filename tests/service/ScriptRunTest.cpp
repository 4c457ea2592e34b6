// Register scripts run against the simulated frame: what reaches the units,
// what is reported (texts included), and where a script stops.

#include "ServiceTestSupport.h"

#include "maintenance/service/RunScriptThread.h"
#include "maintenance/service/ScriptParser.h"
#include "maintenance/service/ServiceTexts.h"
#include "shell/Clock.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace tovrin;
using namespace tovrin::maintenance;
using namespace tovrin::test;

namespace {

class ScriptRun : public tovrin::test::SimLinkTest {
protected:
    void SetUp() override
    {
        SimLinkTest::SetUp();
        device::SelectedUnitIsSlave = 0;
    }
    void TearDown() override
    {
        device::SelectedUnitIsSlave = 0;
        setSleeper({});
        SimLinkTest::TearDown();
    }
    Reports run(const QByteArray& text)
    {
        EXPECT_TRUE(tovrin::test::writeFile(QStringLiteral("script.ini"), text));
        RunScriptThread worker;
        worker.setScript(QStringLiteral("script.ini"));
        return tovrin::test::runWorker(worker);
    }
    QStringList texts(const Reports& r)
    {
        QStringList out;
        for (const auto& report : r.list)
            out << scriptTexts(report);
        return out;
    }
    tovrin::test::InTemporaryFolder folder;
};

TEST_F(ScriptRun, LinesStartingWithZeroOrAnEmptyScriptOnlyReportSuccess)
{
    WireRecord wire(*frame);
    const Reports r = run("0 pwd 35 1f 1\n0 prd 35 1\n0 # 5000\n");
    EXPECT_EQ(texts(r), QStringList{"Success!"});
    EXPECT_EQ(run("").codes(), std::vector<int>{script::Done});
    EXPECT_TRUE(wire.commands().empty());
}

TEST_F(ScriptRun, RequestsReachTheUnitAndAreReportedWithTheirValues)
{
    frame->setFpgaRegister(sim::Unit::Master, 0x0035, 0x0F);
    frame->setSensorRegister(sim::Unit::Master, 0x0A, 0x61);
    const Reports r = run("1 srd 35\n"
                          "1 pwd 46 1f 1\n"
                          "1 prd 46 1\n"
                          "1 i2cwd 19 1 3a\n"
                          "1 i2crd 0a 1\n");
    EXPECT_EQ(texts(r), (QStringList{"Master: FPGASingleRead Addr: 0x0035  value: 0x0f",
                                     "Master: FPGAPortWrite Addr: 0x0046  value: 0x1f",
                                     "Master: FPGAPortRead Addr: 0x0046  value: 0x1f",
                                     "Master: I2CWrite Addr: 0x0019  value: 0x3a",
                                     "Master: I2C_Read Addr: 0x000a  value: 0x61", "Success!"}));
    EXPECT_EQ(frame->fpgaRegister(sim::Unit::Master, 0x46), 0x1F);
    EXPECT_EQ(frame->sensorRegister(sim::Unit::Master, 0x19), 0x3A);
}

TEST_F(ScriptRun, TheSlaveBoxSendsRegisterAndSensorRequestsToTheSlave)
{
    device::SelectedUnitIsSlave = 1;
    frame->setSensorRegister(sim::Unit::Slave, 0x0A, 0x62);
    const Reports r = run("1 i2crd 0a 1\n1 pwd 46 44 1\n1 prd 46 1\n");
    EXPECT_EQ(texts(r).first(), "Slave: I2C_Read Addr: 0x000a  value: 0x62");
    EXPECT_EQ(frame->fpgaRegister(sim::Unit::Slave, 0x46), 0x44);
    EXPECT_EQ(frame->fpgaRegister(sim::Unit::Master, 0x46), 0x00);
    // prd takes its address as written: the Master's register.
    EXPECT_EQ(texts(r)[2], "Master: FPGAPortRead Addr: 0x0046  value: 0x00");
}

TEST_F(ScriptRun, TextsCarryTheValuesOfTheirOwnRequest)
{
    // The window formats texts later than the worker runs: each text must
    // keep the address and value of its own request.
    for (uint16_t a = 0; a < 8; ++a)
        frame->setFpgaRegister(sim::Unit::Master, static_cast<uint16_t>(0x40 + a), static_cast<uint8_t>(0xA0 + a));
    const Reports r = run("1 srd 40\n1 srd 41\n1 srd 42\n1 srd 43\n1 srd 44\n1 srd 45\n1 srd 46\n1 srd 47\n");
    ASSERT_EQ(r.count(script::SingleRead), 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(texts(r)[i], QString::asprintf("Master: FPGASingleRead Addr: 0x%04x  value: 0x%02x", 0x40 + i, 0xA0 + i));
}

TEST_F(ScriptRun, TheDelayTextComesBeforeThePause)
{
    std::vector<std::string> order;
    std::mutex m;
    setSleeper([&](int ms) {
        std::lock_guard lock(m);
        order.push_back("sleep " + std::to_string(ms));
    });
    RunScriptThread worker;
    ASSERT_TRUE(tovrin::test::writeFile(QStringLiteral("delay.ini"), "1 # 40\n"));
    worker.setScript(QStringLiteral("delay.ini"));
    QObject::connect(&worker, &RunScriptThread::sendReport, &worker,
                     [&](const ServiceReport& r) {
                         std::lock_guard lock(m);
                         order.push_back(scriptTexts(r).join('|').toStdString());
                     },
                     Qt::DirectConnection);
    worker.startWork();
    worker.wait();
    ASSERT_GE(order.size(), 3u);
    EXPECT_EQ(order.front(), "Delay 40 ms!");
    EXPECT_EQ(order[1].rfind("sleep", 0), 0u);
    EXPECT_EQ(order.back(), "Success!");
}

// Burst reads: two to one file append, another file starts anew; flash
// bytes are read from the address as written.
TEST_F(ScriptRun, BurstReadsAppendToTheirFileFromTheAddressAsWritten)
{
    for (uint16_t a = 0; a < 4; ++a)
        frame->setFpgaRegister(sim::Unit::Master, static_cast<uint16_t>(0x10 + a), static_cast<uint8_t>(a + 1));
    const std::vector<uint8_t> head{0x46, 0x49, 0x57, 0x46, 0xEC, 0x00, 0xB0, 0x04};
    frame->setFlash(sim::Unit::Slave, 0x11000, head);
    const Reports r = run("1 brd 10 4 append.bin\n1 brd 12 2 append.bin\n1 brd 10 2 fresh.bin\n1 brd 12011000 8 cal.bin\n");
    EXPECT_EQ(r.codes(), std::vector<int>{script::Done});
    EXPECT_EQ(tovrin::test::readFile("append.bin"), QByteArray("\x01\x02\x03\x04\x03\x04", 6));
    EXPECT_EQ(tovrin::test::readFile("fresh.bin"), QByteArray("\x01\x02", 2));
    EXPECT_EQ(tovrin::test::readFile("cal.bin"), QByteArray(reinterpret_cast<const char*>(head.data()), 8));
}

TEST_F(ScriptRun, BurstWriteSendsTheFileToTheRegisterWindow)
{
    ASSERT_TRUE(tovrin::test::writeFile(QStringLiteral("lut.bin"), "\x09\x08\x07\x06"));
    const Reports r = run("1 bwd 3 10000020 2f lut.bin\n");
    EXPECT_EQ(r.codes(), std::vector<int>{script::Done});
    EXPECT_EQ(frame->fpgaRegister(sim::Unit::Slave, 0x20), 9);
    EXPECT_EQ(frame->fpgaRegister(sim::Unit::Slave, 0x22), 7);
    EXPECT_EQ(frame->fpgaRegister(sim::Unit::Slave, 0x23), 0);
}

TEST_F(ScriptRun, AFailingPortReadPrintsTwoLinesAndStops)
{
    WireRecord wire(*frame);
    frame->answerNextWithStatus(0xFF, 1, wire::ReadRegistersM);
    const Reports r = run("1 prd 35 1\n1 pwd 46 55 1\n");
    EXPECT_EQ(texts(r), (QStringList{"Master: FPGAPortRead error", "PortRead timeout exit, please try again!"}));
    EXPECT_EQ(frame->fpgaRegister(sim::Unit::Master, 0x46), 0x00);
    EXPECT_TRUE(wire.withNumber({wire::WriteRegisterM}).empty());
}

// A script with a line that cannot be run is refused whole: its good lines
// (the first ones too) never run. Burst files stay plain files of the
// application folder; a line cut at 511 characters ("3a" would go out as 3),
// binary and huge scripts are refused too.
TEST_F(ScriptRun, AScriptWithLinesThatCannotBeRunRunsNothing)
{
    WireRecord wire(*frame);
    const Reports r = run("1 pwd 46 1f 1\nread the id\n1 pwd 46 100 1\n1 srd 35\n");
    EXPECT_EQ(r.codes(), (std::vector<int>{script::LineRefused, script::LineRefused, script::Refused}));
    EXPECT_EQ(texts(r), (QStringList{"Script line 2 cannot be run: it does not start with a number.",
                                     "Script line 3 cannot be run: pwd value 100 is out of range (one byte, 0-ff).",
                                     "Script refused: 2 lines cannot be run; nothing was run."}));

    ASSERT_TRUE(tovrin::test::writeFile(QStringLiteral("Tovrin.ini"), "[Tovrin_Config]\n"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/tmp"), QStringLiteral("away")));
    for (const char* line : {"1 brd 10 4 ../up.bin\n", "1 brd 10 4 /tmp/out.bin\n", "1 brd 10 4 Tovrin.ini\n",
                             "1 brd 10 4 away\n", "1 bwd 2 20 2f tovrin.INI\n"}) {
        EXPECT_EQ(run(QByteArray("1 pwd 46 1 1\n") + line).codes(), (std::vector<int>{script::LineRefused, script::Refused}))
            << line;
    }
    EXPECT_EQ(tovrin::test::readFile("Tovrin.ini"), QByteArray("[Tovrin_Config]\n"));
    const QByteArray cut = "1 i2cwd 19 1" + QByteArray(498, ' ') + "3a\n";
    EXPECT_EQ(run(cut).codes(), (std::vector<int>{script::LineRefused, script::Refused}));

    EXPECT_EQ(run(QByteArray("1 pwd 46 1 1\n\0\0\0", 16)).codes(), std::vector<int>{script::Refused});
    QByteArray huge = "1 pwd 46 1 1\n";
    huge.append(QByteArray(kScriptSizeMax, '#'));
    EXPECT_EQ(run(huge).codes(), std::vector<int>{script::Refused});
    EXPECT_TRUE(wire.commands().empty());
    EXPECT_EQ(frame->fpgaRegister(sim::Unit::Master, 0x46), 0x00);
    EXPECT_EQ(frame->sensorRegister(sim::Unit::Master, 0x19), 0x00);
}

TEST_F(ScriptRun, AMissingScriptReportsOpenFail)
{
    RunScriptThread worker;
    worker.setScript(QStringLiteral("no-such-script.ini"));
    const Reports r = tovrin::test::runWorker(worker);
    EXPECT_EQ(r.codes(), std::vector<int>{script::OpenFail});
    EXPECT_EQ(scriptTexts(r.list.front()), QStringList{"Script Open Fail!"});
}

// Burst data that cannot reach its file (a folder of that name takes no
// bytes) stops the script; a burst write from a missing or short file sends
// nothing.
TEST_F(ScriptRun, BurstFilesThatCannotBeUsedStopTheScript)
{
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("taken")));
    EXPECT_EQ(run("1 brd 10 4 taken\n1 pwd 46 1 1\n").codes(), std::vector<int>{script::BurstFile});
    EXPECT_EQ(frame->fpgaRegister(sim::Unit::Master, 0x46), 0x00);
    WireRecord wire(*frame);
    ASSERT_TRUE(tovrin::test::writeFile(QStringLiteral("short.bin"), "\x01"));
    EXPECT_EQ(run("1 bwd 2 20 2f short.bin\n").codes(), std::vector<int>{script::BurstFile});
    EXPECT_EQ(run("1 bwd 2 20 2f none.bin\n").codes(), std::vector<int>{script::BurstFile});
    EXPECT_TRUE(wire.withNumber({wire::WriteRegisterM}).empty());
}

TEST_F(ScriptRun, AFrameUnpluggedDuringTheScriptEndsItSilently)
{
    frame->vanishAtOutputReport(3);
    const Reports r = run("1 pwd 46 1 1\n1 pwd 46 2 1\n1 pwd 46 3 1\n1 pwd 46 4 1\n");
    EXPECT_EQ(r.count(script::Done), 0);
    EXPECT_EQ(r.count(script::PortWrite), 2);
    EXPECT_EQ(device::g_bDevExist.load(), 0);
}

} // namespace

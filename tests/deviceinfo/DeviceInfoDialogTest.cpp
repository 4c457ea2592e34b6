// The device information dialog on the simulated frame: the input column
// from DeviceInfo.ini, Write with the leveling window's line images, both
// columns read back, the two spreadsheet rows, refusals; a screenshot.

#include "FreeXlReader.h"

#include "deviceinfo/core/XlsExport.h"
#include "deviceinfo/ui/ReadWriteDeviceInfo.h"
#include "shell/Log.h"
#include "shell/TextCodec.h"
#include "tests/windows/WindowTestSupport.h"
#include "tests/support/Files.h"
#include "tests/support/FrameLink.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace tovrin;
using namespace tovrin::deviceinfo;
using namespace tovrin::windows::test;

namespace {

QByteArray lineImage(int seed)
{
    QByteArray frame(kFrameBytes, '\0');
    for (int i = 0; i < kFrameBytes; ++i) {
        const int column = i % kFramePixels;
        frame[i] = static_cast<char>(column > 40 && column < 600 ? 60 + (column * seed + i / kFramePixels * 7) % 150 : 8);
    }
    return frame;
}

void writeIni(const QByteArray& text)
{
    QVERIFY(tovrin::test::writeFile(QStringLiteral("DeviceInfo.ini"), text));
}

bool waitForJob(ReadWriteDeviceInfo& dialog)
{
    QSignalSpy spy(&dialog, &ReadWriteDeviceInfo::jobFinished);
    return spy.wait(20000);
}

} // namespace

class DeviceInfoDialogTest : public WindowTest {
    Q_OBJECT
public:
    DeviceInfoDialogTest() : WindowTest(2) {}

private slots:
    void inputComesFromTheIniFile();
    void writeFillsBothColumnsAndAppendsTwoRows();
    void aTextBeyondLatin1IsRefusedBeforeAnythingIsErased();
    void readOfUnitsWithoutARecord();
    void constructionStartsANewLogFile();

private:
    void open()
    {
        QVERIFY(tovrin::test::openFrameLink());
        QFile::remove(kWorkbookFileName);
    }
};

void DeviceInfoDialogTest::inputComesFromTheIniFile()
{
    open();
    writeIni("; written by the factory\n[DeviceInfo]\nDeviceID=1001\nFactoryName=Shenzhen_Works\nManufDate=20260307\n");
    ReadWriteDeviceInfo dialog;
    QCOMPARE(dialog.inputEdit(DeviceID)->text(), QStringLiteral("0x00001001"));
    QCOMPARE(dialog.inputEdit(FactoryName)->text(), QStringLiteral("Shenzhen_Works"));
    QCOMPARE(dialog.inputEdit(ManufDate)->text(), QStringLiteral("20260307"));
    QVERIFY(dialog.masterEdit(DeviceID)->isReadOnly());
}

void DeviceInfoDialogTest::writeFillsBothColumnsAndAppendsTwoRows()
{
    open();
    writeIni("[DeviceInfo]\nDeviceID=0x1001\nInfoVersion=0x2\nFactoryName=Shenzhen_Works\nCustomerName=Harbour_Schools\n"
             "Producer=Line_3\nManufDate=20260307\nBatchNumer=B2026_031\nLotNumber=L0042\nEncrypWord=0x5A5AA5A5\n"
             "ProductModel=OTF_86_Pro_Extended\nSupportFeature=0x0000000F\n");
    const QByteArray frameM = lineImage(3);
    const QByteArray frameS = lineImage(5);
    ReadWriteDeviceInfo dialog(nullptr, {frameM, uint16_t{0x0650}}, {frameS, uint16_t{0x0460}});
    dialog.WriteSlot();
    QVERIFY(!dialog.findChild<QPushButton*>(QStringLiteral("writeButton"))->isEnabled());
    QVERIFY(waitForJob(dialog));
    QCOMPARE(dialog.statusText(), QStringLiteral("Write success!"));
    QVERIFY(dialog.findChild<QPushButton*>(QStringLiteral("writeButton"))->isEnabled());
    QCOMPARE(dialog.masterEdit(DeviceID)->text(), QStringLiteral("0x00001002"));
    QCOMPARE(dialog.slaveEdit(DeviceID)->text(), QStringLiteral("0x00001003"));
    QCOMPARE(dialog.masterEdit(ProductModel)->text(), QStringLiteral("OTF_86_Pro_Exten"));  // 16 bytes on the frame
    QCOMPARE(dialog.slaveEdit(CustomerName)->text(), QStringLiteral("Harbour_Schools"));
    // The INI keeps the typed text whole.
    QCOMPARE(loadIniTexts(QStringLiteral("DeviceInfo.ini"))[ProductModel], QStringLiteral("OTF_86_Pro_Extended"));

    const auto x = tovrin::test::readXls(kWorkbookFileName);
    QCOMPARE(x.error, 0);
    QCOMPARE(x.rows, 2u);
    QCOMPARE(x.text(0, 0), QStringLiteral("0x00001002"));
    QCOMPARE(x.text(1, 0), QStringLiteral("0x00001003"));
    QCOMPARE(x.text(0, 11), QStringLiteral("0x00000000"));
    QCOMPARE(x.text(0, 12), QStringLiteral("0x50"));
    QCOMPARE(x.text(0, 13), QStringLiteral("0x06"));
    QCOMPARE(x.text(1, 12), QStringLiteral("0x60"));
    QCOMPARE(x.text(0, 14), frameSummaryText(frameM));
    QCOMPARE(x.text(1, 15), frameProfileText(frameS));
    QVERIFY(x.text(0, 15).startsWith(QStringLiteral("L")));

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    saveShot(dialog.grab().toImage(), QStringLiteral("device-info-dialog"));

    // A second write appends after the first two rows. Closing meanwhile
    // (Escape) is refused: the write runs to its end, and the dialog never
    // waits for it.
    dialog.inputEdit(DeviceID)->setText(QStringLiteral("0x1004"));
    dialog.WriteSlot();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.close());
    QVERIFY(dialog.isVisible());
    QVERIFY(waitForJob(dialog));
    const auto y = tovrin::test::readXls(kWorkbookFileName);
    QCOMPARE(y.rows, 4u);
    QCOMPARE(y.text(1, 0), QStringLiteral("0x00001003"));
    QCOMPARE(y.text(2, 0), QStringLiteral("0x00001004"));
    QCOMPARE(y.text(2, 11), QStringLiteral("0x00001002"));  // the Master's previous ID
    QVERIFY(dialog.close());
}

void DeviceInfoDialogTest::aTextBeyondLatin1IsRefusedBeforeAnythingIsErased()
{
    open();
    QByteArray ini = "[DeviceInfo]\nDeviceID=0x10\nInfoVersion=1\nManufDate=1\nEncrypWord=0\nSupportFeature=0\nFactoryName=";
    ini += shell::encodeText(QString::fromUtf8("深圳工厂"), shell::Encoding::Gbk);  // as the Chinese desktop wrote it
    writeIni(ini + "\n");
    ReadWriteDeviceInfo dialog;
    QCOMPARE(dialog.inputEdit(FactoryName)->text(), QString::fromUtf8("深圳工厂"));
    const auto before = m_frame->readFlash(sim::Unit::Master, 0x1F000, 4096);
    dialog.WriteSlot();
    QVERIFY(dialog.statusText().contains(QStringLiteral("FactoryName")));
    QVERIFY(dialog.statusText().contains(QStringLiteral("Nothing was written.")));
    QVERIFY(!dialog.isBusy());
    QCOMPARE(m_frame->readFlash(sim::Unit::Master, 0x1F000, 4096), before);
    QVERIFY(!QFile::exists(kWorkbookFileName));
}

void DeviceInfoDialogTest::readOfUnitsWithoutARecord()
{
    open();
    ReadWriteDeviceInfo dialog;
    dialog.masterEdit(DeviceID)->setText(QStringLiteral("unchanged"));
    dialog.ReadSlot();
    QVERIFY(waitForJob(dialog));
    QCOMPARE(dialog.statusText(), QStringLiteral("Read Master failed 1!\nRead Slave failed 1!"));
    QCOMPARE(dialog.masterEdit(DeviceID)->text(), QStringLiteral("unchanged"));
}

void DeviceInfoDialogTest::constructionStartsANewLogFile()
{
    open();
    shell::WriteLog("Tovrin log start!\n", true);
    const std::string before = shell::context().logFilePath();
    QTest::qWait(1100);  // a log file is named by its second
    ReadWriteDeviceInfo dialog;
    QVERIFY(shell::context().logFilePath() != before);
    QVERIFY(logText().startsWith(QStringLiteral("(")));
    QVERIFY(logText().contains(QStringLiteral("Tovrin log start!\n")));
    QVERIFY(logText().contains(QStringLiteral("ChooseToolEnable = 2\n")));
}

QTEST_MAIN(DeviceInfoDialogTest)
#include "DeviceInfoDialogTest.moc"

// The settings window on the simulated frame: what it shows for the
// frame's record, what OK stores (and when it stores nothing), the warning
// when a write fails, the keyboard and the title band; the defaults, a
// portrait record and the write warning with pictures at 1920 and 1024.
#include "tests/windows/WindowTestSupport.h"

#include "shell/Settings.h"
#include "sim/SimBytes.h"
#include "widgets/Button.h"
#include "windows/SetWin.h"
#include "windows/settingsjob/SettingsOpening.h"
#include "tests/support/Files.h"
#include "tests/support/FrameLink.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QPainter>
#include <QPointer>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>

using namespace tovrin;
using namespace tovrin::windows::test;
using tovrin::widgets::Button;
using tovrin::widgets::MyMessageBox;
using tovrin::windows::SetWin;

namespace {

// The Slave's screen record as the frame keeps it (26 bytes at 0x18000).
std::vector<uint8_t> screenRecord(uint8_t size, uint8_t rotation, uint8_t touchType, uint8_t fourPoint, uint8_t doubleWriting)
{
    std::vector<uint8_t> r(26, 0);
    sim::writeU32le(r.data(), 0x41434946);
    r[4] = size;
    r[6] = 1;
    r[7] = rotation;
    r[8] = doubleWriting;
    r[10] = fourPoint;
    r[11] = 1;
    r[12] = 8;
    r[16] = touchType;
    return r;
}

void writeIni(const QString& text)
{
    QVERIFY(tovrin::test::writeFile(QStringLiteral("Tovrin.ini"), text.toUtf8()));
}

template <class T>
T* child(QWidget& w, const char* name)
{
    return w.findChild<T*>(QString::fromLatin1(name));
}

// What the opener reads before the window comes up (the Set entry does it
// in its worker): the Slave's record, mirrored into Tovrin.ini, then work mode.
std::optional<records::ScreenRecord> openingRead()
{
    return settingsjob::readForSettingsWindow();
}

uint64_t flashWrites(const sim::SimulatedFrame& f)
{
    return f.commandsSeen(9) + f.commandsSeen(28) + f.commandsSeen(13) + f.commandsSeen(32);
}

// Runs `grab` on the next message box once it is open, then closes it.
void onNextBox(std::function<void(MyMessageBox*)> grab)
{
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, grab] {
        if (MyMessageBox* box = tovrin::test::openBox(); box && box->isVisible()) {
            poll->stop();
            poll->deleteLater();
            grab(box);
            box->close();
        }
    });
    poll->start();
}

// One row per screen class, for the tests that keep a picture.
void screenRows()
{
    addScreenRows("%d");
}

// Shows the window and keeps its picture, named after the screen class.
void savePicture(SetWin& w, const char* name)
{
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    saveShot(w.grab().toImage(), QStringLiteral("%1-%2").arg(QLatin1String(name), QLatin1String(QTest::currentDataTag())));
}

} // namespace

class SetWinTest : public WindowTest {
    Q_OBJECT
public:
    SetWinTest() : WindowTest(1) {}

private:
    void openFrame(const std::vector<uint8_t>& slaveRecord = {})
    {
        m_frame = installFrame(true);
        if (!slaveRecord.empty()) {
            m_frame->eraseSector(sim::Unit::Slave, 0x18000);
            m_frame->setFlash(sim::Unit::Slave, 0x18000, slaveRecord);
        }
        QVERIFY(tovrin::test::openFrameLink());
    }

    bool save(SetWin& w)
    {
        QSignalSpy finished(&w, &SetWin::saveFinished);
        QTest::mouseClick(child<Button>(w, "okButton"), Qt::LeftButton, {}, QPoint(10, 10));
        return finished.count() > 0 || finished.wait(kDeviceTimeoutMs);
    }

private slots:
    void aRecordWithoutMagicShowsTheDefaults_data() { screenRows(); }
    void aRecordWithoutMagicShowsTheDefaults()
    {
        QFETCH(int, screen);
        useScreen(screen);
        openFrame(std::vector<uint8_t>(26, 0xFF));
        SetWin w(nullptr, openingRead());
        QVERIFY(child<QRadioButton>(w, "sizeRadio3")->isChecked());
        QCOMPARE(child<QRadioButton>(w, "sizeRadio3")->text(), QStringLiteral("56-65 inches"));
        QVERIFY(child<QRadioButton>(w, "landscapeRadio")->isChecked());
        QCOMPARE(child<QComboBox>(w, "rotationCombo")->currentIndex(), 0);
        QVERIFY(child<QRadioButton>(w, "point16Radio")->isChecked());
        QVERIFY(child<QRadioButton>(w, "closeRadio")->isChecked());
        QVERIFY(!child<QGroupBox>(w, "touchTypeGroup")->isEnabled());
        QCOMPARE(shell::settings::Screen_Size.read(), 3);
        QCOMPARE(shell::settings::Smoothness.read(), 1);
        savePicture(w, "setwin-defaults");
    }

    // Portrait with a rotation, touch type on; the picture with the focus on OK.
    void aRecordWithMagicIsShown_data() { screenRows(); }
    void aRecordWithMagicIsShown()
    {
        QFETCH(int, screen);
        useScreen(screen);
        openFrame(screenRecord(6, 3, 2, 1, 1));
        writeIni(QStringLiteral("[os_check]\nAutoCheck=1\n"));
        SetWin w(nullptr, openingRead());
        QVERIFY(child<QRadioButton>(w, "sizeRadio6")->isChecked());
        QVERIFY(child<QRadioButton>(w, "portraitRadio")->isChecked());
        QCOMPARE(child<QComboBox>(w, "rotationCombo")->currentIndex(), 3);
        QVERIFY(child<QRadioButton>(w, "point4Radio")->isChecked());
        QVERIFY(child<QRadioButton>(w, "openRadio")->isChecked());
        QVERIFY(child<QGroupBox>(w, "touchTypeGroup")->isEnabled());
        QVERIFY(child<QRadioButton>(w, "muchRadio")->isChecked());
        QCOMPARE(shell::settings::Vertical_Mode.read(), 3);
        QCOMPARE(shell::settings::Screen_Direction.read(), 1);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (int i = 0; i < 9; ++i)
            QTest::keyClick(&w, Qt::Key_Tab);
        savePicture(w, "setwin-portrait-rotation");
    }

    void absurdFieldsShowNothingWrongAndStoreNothingWrong()
    {
        openFrame(screenRecord(84, 200, 9, 7, 3));
        SetWin w(nullptr, openingRead());
        for (int i = 0; i < 8; ++i)
            QVERIFY(!child<QRadioButton>(w, QByteArray("sizeRadio" + QByteArray::number(i)).constData())->isChecked());
        QCOMPARE(child<QComboBox>(w, "rotationCombo")->currentIndex(), 0);
        QVERIFY(child<QRadioButton>(w, "point16Radio")->isChecked());
        QVERIFY(save(w));
        QVERIFY(w.lastSave()->succeeded());
        const auto r = m_frame->readFlash(sim::Unit::Slave, 0x18000, 26);
        QCOMPARE(int(r[4]), 3);   // the default class, not 84
        QCOMPARE(int(r[7]), 0);
        QCOMPARE(int(r[10]), 0);
        QCOMPARE(int(r[16]), 0);
        QVERIFY(r[8] <= 1);
    }

    void autoCheckOffSavesTouchTypeAuto()
    {
        openFrame(screenRecord(2, 0, 2, 0, 0));
        SetWin w(nullptr, openingRead());
        QVERIFY(!child<QGroupBox>(w, "touchTypeGroup")->isEnabled());
        QVERIFY(!child<QRadioButton>(w, "autoRadio")->isChecked());
        QVERIFY(!child<QRadioButton>(w, "muchRadio")->isChecked());
        QVERIFY(save(w));
        QCOMPARE(int(m_frame->readFlash(sim::Unit::Slave, 0x18000, 26)[16]), 0);
        QCOMPARE(shell::settings::TouchType.read(), 0);
    }

    void landscapeForcesRotationZero()
    {
        openFrame(screenRecord(2, 3, 0, 0, 0));
        SetWin w(nullptr, openingRead());
        auto* combo = child<QComboBox>(w, "rotationCombo");
        QCOMPARE(combo->currentIndex(), 3);
        child<QRadioButton>(w, "landscapeRadio")->setChecked(true);
        QCOMPARE(combo->currentIndex(), 0);
        combo->setCurrentIndex(4);  // whatever the combo shows now
        QVERIFY(save(w));
        QCOMPARE(int(m_frame->readFlash(sim::Unit::Slave, 0x18000, 26)[7]), 0);
        QCOMPARE(int(m_frame->readFlash(sim::Unit::Master, 0x18000, 26)[7]), 0);
        QCOMPARE(shell::settings::Vertical_Mode.read(), 0);
        QCOMPARE(shell::settings::Screen_Direction.read(), 0);
    }

    void okStoresBothCopiesAndCloses()
    {
        openFrame();
        writeIni(QStringLiteral("[Tovrin_Config]\nInfraredExpTimeS=200\nInfraredExpTimeM=100\n"));
        SetWin w(nullptr, openingRead());
        QSignalSpy shown(&w, &SetWin::sendShowData);
        w.show();
        child<QRadioButton>(w, "sizeRadio1")->setChecked(true);
        child<QRadioButton>(w, "openRadio")->setChecked(true);
        QVERIFY(save(w));
        QCOMPARE(w.lastSave()->outcome, settingsjob::SaveOutcome::Saved);
        QVERIFY(QTest::qWaitFor([&] { return !w.isVisible(); }, 2000));
        QCOMPARE(shown.count(), 1);
        QCOMPARE(shown.at(0).at(0).toInt(), 3);
        const auto s = m_frame->readFlash(sim::Unit::Slave, 0x18000, 26);
        const auto m = m_frame->readFlash(sim::Unit::Master, 0x18000, 26);
        QCOMPARE(int(s[4]), 1);
        QCOMPARE(int(s[8]), 1);
        QCOMPARE(int(s[13]), 200);
        QCOMPARE(int(m[13]), 100);
        QCOMPARE(m_frame->mode(), uint8_t(0x22));
    }

    void unchangedSettingsWriteNoFlash()
    {
        openFrame();
        {
            SetWin first(nullptr, openingRead());
            QVERIFY(save(first));
        }
        const uint64_t before = flashWrites(*m_frame);
        SetWin w(nullptr, openingRead());
        QSignalSpy shown(&w, &SetWin::sendShowData);
        w.show();
        // The frame answers each report after 300 ms: the dialog goes on
        // while it saves, and no way out closes it before the save has ended.
        m_frame->setReportLatency(std::chrono::milliseconds(300));
        auto heartbeat = std::make_unique<tovrin::test::Heartbeat>();
        QSignalSpy finished(&w, &SetWin::saveFinished);
        QTest::mouseClick(child<Button>(w, "okButton"), Qt::LeftButton, {}, QPoint(10, 10));
        QTest::keyClick(&w, Qt::Key_Escape);
        QTest::mouseClick(child<Button>(w, "quitButton"), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseClick(child<Button>(w, "cancelButton"), Qt::LeftButton, {}, QPoint(10, 10));
        w.close();
        w.reject();
        w.accept();
        QVERIFY(w.isVisible());
        QCOMPARE(shown.count(), 0);
        QVERIFY(finished.count() > 0 || finished.wait(kDeviceTimeoutMs));
        QVERIFY(QTest::qWaitFor([&] { return !w.isVisible(); }, 2000));
        const qint64 pause = heartbeat->longestPauseMs();
        heartbeat.reset();
        m_frame->setReportLatency(std::chrono::microseconds(0));
        QVERIFY2(pause < 200, qPrintable(QString::number(pause)));
        QCOMPARE(w.lastSave()->outcome, settingsjob::SaveOutcome::Unchanged);
        QCOMPARE(flashWrites(*m_frame), before);
        QCOMPARE(shown.count(), 1);
        QCOMPARE(m_frame->mode(), sim::kModeWork);
    }

    // The picture: the warning over the dialog.
    void aWriteFailureIsShownAndTheDialogStays_data() { screenRows(); }
    void aWriteFailureIsShownAndTheDialogStays()
    {
        QFETCH(int, screen);
        useScreen(screen);
        openFrame();
        SetWin w(nullptr, openingRead());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        child<QRadioButton>(w, "sizeRadio0")->setChecked(true);
        m_frame->answerNextWithStatus(0x22, 1, 32);  // Slave erase acknowledged, not done
        MyMessageBox::setAutoAnswer(std::nullopt);
        QImage composed;
        onNextBox([&](MyMessageBox* box) {
            composed = w.grab().toImage();
            QPainter p(&composed);
            const QImage boxImage = box->grab().toImage();
            p.drawImage((composed.width() - boxImage.width()) / 2, (composed.height() - boxImage.height()) / 2, boxImage);
        });
        QVERIFY(save(w));
        QVERIFY(QTest::qWaitFor([&] { return !composed.isNull(); }, 5000));
        MyMessageBox::setAutoAnswer(MyMessageBox::AnswerCancel);
        saveShot(composed, QStringLiteral("setwin-write-failure-%1").arg(screen));
        // The record write reads its pieces back and stops before the validity word.
        QCOMPARE(w.lastSave()->outcome, settingsjob::SaveOutcome::SlaveWriteFailed);
        QVERIFY(w.isVisible());
        const auto boxes = MyMessageBox::shownBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.at(0).title, QStringLiteral("warning"));
        QCOMPARE(boxes.at(0).message, QStringLiteral("Write failure, please write again!"));
        QCOMPARE(boxes.at(0).buttons, 1);
    }

    void aLostFrameDuringOkIsShown()
    {
        openFrame();
        SetWin w(nullptr, openingRead());
        w.show();
        child<QRadioButton>(w, "sizeRadio7")->setChecked(true);
        m_frame->vanishAtOutputReport(6);
        QVERIFY(save(w));
        QVERIFY(!w.lastSave()->succeeded());
        QVERIFY(w.isVisible());
        QCOMPARE(MyMessageBox::shownBoxes().size(), 1);
        QCOMPARE(MyMessageBox::shownBoxes().at(0).message, shell::context().text(14));
    }

    void aRefusedResetAfterTheSaveIsShownAndTheDialogStays()
    {
        openFrame();
        SetWin w(nullptr, openingRead());
        w.show();
        child<QRadioButton>(w, "sizeRadio2")->setChecked(true);
        m_frame->answerNextWithStatus(0xFF, 1, 14, 2);  // calibration and work mode taken, the reset refused
        QVERIFY(save(w));
        QVERIFY(w.lastSave()->succeeded());
        QVERIFY(!w.lastSave()->complete());
        QVERIFY(w.isVisible());
        QCOMPARE(MyMessageBox::shownBoxes().size(), 1);
        QCOMPARE(MyMessageBox::shownBoxes().at(0).message, QStringLiteral("Reset failed, please try again!"));
        QCOMPARE(int(m_frame->readFlash(sim::Unit::Slave, 0x18000, 26)[4]), 2);
    }

    void reconnectSaysWhetherTheResetWorked()
    {
        openFrame();
        SetWin w(nullptr, openingRead());
        QSignalSpy shown(&w, &SetWin::sendShowData);
        w.show();
        // The frame answers each report after 300 ms: both switches run
        // while the dialog goes on, its buttons off, and it stays open.
        m_frame->setReportLatency(std::chrono::milliseconds(300));
        auto heartbeat = std::make_unique<tovrin::test::Heartbeat>();
        w.ResetButSlot();
        for (const char* name : {"reconnectButton", "parameResetButton", "okButton", "cancelButton", "quitButton"})
            QVERIFY2(!child<Button>(w, name)->isButtonEnabled(), name);
        QTest::keyClick(&w, Qt::Key_Escape);
        w.reject();
        QVERIFY(w.isVisible());
        QVERIFY(QTest::qWaitFor([] { return MyMessageBox::shownBoxes().size() == 1; }, kDeviceTimeoutMs));
        const qint64 pause = heartbeat->longestPauseMs();
        heartbeat.reset();
        m_frame->setReportLatency(std::chrono::microseconds(0));
        QVERIFY2(pause < 200, qPrintable(QString::number(pause)));
        QCOMPARE(MyMessageBox::shownBoxes().last().message, QStringLiteral("Reset success!"));
        QVERIFY(child<Button>(w, "okButton")->isButtonEnabled());
        QCOMPARE(shown.count(), 0);
        m_frame->answerNextWithStatus(0xFF, 1, 14);  // work mode refused on a calibrated frame
        w.ResetButSlot();
        QVERIFY(QTest::qWaitFor([] { return MyMessageBox::shownBoxes().size() == 2; }, kDeviceTimeoutMs));
        QCOMPARE(MyMessageBox::shownBoxes().last().message, QStringLiteral("Reset failed, please try again!"));

        // A dialog that goes away under a running Reconnect (its opener was
        // destroyed) waits for nothing; the switches run to their end alone.
        auto* gone = new SetWin(nullptr, openingRead());
        m_frame->setReportLatency(std::chrono::milliseconds(300));
        heartbeat = std::make_unique<tovrin::test::Heartbeat>();
        gone->ResetButSlot();
        QPointer<QThread> task = gone->findChild<QThread*>();
        QVERIFY(task && task->isRunning());
        delete gone;
        QVERIFY(QTest::qWaitFor([&] { return task.isNull(); }, kDeviceTimeoutMs));
        const qint64 gonePause = heartbeat->longestPauseMs();
        heartbeat.reset();
        m_frame->setReportLatency(std::chrono::microseconds(0));
        QVERIFY2(gonePause < 200, qPrintable(QString::number(gonePause)));
        QCOMPARE(MyMessageBox::shownBoxes().size(), 2);
    }

    void parameResetReloadsTheIni()
    {
        openFrame(screenRecord(4, 0, 0, 0, 0));
        SetWin w(nullptr, openingRead());
        child<QRadioButton>(w, "sizeRadio7")->setChecked(true);
        child<QRadioButton>(w, "point4Radio")->setChecked(true);
        w.ResetButtonSlot();
        QVERIFY(child<QRadioButton>(w, "sizeRadio4")->isChecked());
        QVERIFY(child<QRadioButton>(w, "point16Radio")->isChecked());
    }

    void tabCyclesTenPlacesAndReturnPresses()
    {
        openFrame(screenRecord(4, 0, 0, 0, 0));
        SetWin w(nullptr, openingRead());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (int i = 1; i <= 10; ++i) {
            QTest::keyClick(&w, Qt::Key_Tab);
            QCOMPARE(w.focusPosition(), i);
        }
        QVERIFY(child<Button>(w, "cancelButton")->currentLook() == Button::Look::Focus);
        QTest::keyClick(&w, Qt::Key_Tab);
        QCOMPARE(w.focusPosition(), 1);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(child<QRadioButton>(w, "sizeRadio4")));
        for (int i = 0; i < 7; ++i)
            QTest::keyClick(&w, Qt::Key_Tab);
        QCOMPARE(w.focusPosition(), 8);  // Parame Reset
        child<QRadioButton>(w, "sizeRadio0")->setChecked(true);
        QTest::keyClick(&w, Qt::Key_Return);
        QVERIFY(child<QRadioButton>(w, "sizeRadio4")->isChecked());
        QSignalSpy shown(&w, &SetWin::sendShowData);
        QTest::keyClick(&w, Qt::Key_Escape);
        QCOMPARE(shown.count(), 1);
        QCOMPARE(shown.at(0).at(0).toInt(), 3);
        QVERIFY(!w.isVisible());
    }

    void theTopBandDragsTheDialog()
    {
        openFrame();
        SetWin w(nullptr, openingRead());
        w.move(100, 100);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QPoint start = w.pos();
        // Pressed at `from`, moved by (40, 30) and released there.
        auto drag = [&w](QPoint from) {
            const QPoint to = from + QPoint(40, 30);
            QTest::mousePress(&w, Qt::LeftButton, {}, from);
            QMouseEvent move(QEvent::MouseMove, QPointF(to), QPointF(w.mapToGlobal(to)), Qt::NoButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(&w, &move);
            QTest::mouseRelease(&w, Qt::LeftButton, {}, to);
        };
        drag(QPoint(w.width() / 2, 10));
        QCOMPARE(w.pos(), start + QPoint(40, 30));
        // Below the band nothing moves.
        drag(QPoint(w.width() / 2, w.height() / 2));
        QCOMPARE(w.pos(), start + QPoint(40, 30));
    }
};

QTEST_MAIN(SetWinTest)
#include "SetWinTest.moc"

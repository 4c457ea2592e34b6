#pragma once
// The debug page of the engineering window (tool flavour 2): plain push
// buttons for every job, the FPGA download and script rows, Step Debug, the
// Preview page with its compression switch, and the text output box. It
// only builds and places the widgets; the window connects them to its slots.

#include "Captions.h"
#include "TovrinEntries.h"

#include <QWidget>

#include <map>
#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTextEdit;

namespace tovrin::windows {

class PreviewPage;

class DebugPage : public QWidget {
    Q_OBJECT
public:
    enum class ButtonId {
        Leveling, Calibrate, Set, Versions, Shortcuts, KeyTest, Test, Reset,
        EraseFlash, ReadFlash, WriteFlash, Update, FingerInto, Quit,
        FpgaBrowse, Download, ScriptBrowse, RunScript, Write, Read, Preview, Clear, DeviceInfo,
    };

    DebugPage(QWidget* window, Captions& captions);

    QPushButton* button(ButtonId id) const { return m_buttons.at(id); }
    QLineEdit* fpgaPathEdit() const { return m_fpgaPath; }
    QLineEdit* scriptPathEdit() const { return m_scriptPath; }
    QLineEdit* regAddrEdit() const { return m_regAddr; }
    QLineEdit* regValueEdit() const { return m_regValue; }
    QCheckBox* compressBox() const { return m_compress; }
    QCheckBox* sensorBox() const { return m_sensor; }
    QCheckBox* slaveBox() const { return m_slave; }
    QTextEdit* outputBox() const { return m_output; }
    PreviewPage* preview() const { return m_preview; }

    // Every button that talks to the frame (entries that are not wired stay
    // disabled); onlyUpdate leaves Update alone enabled.
    void setDeviceButtonsEnabled(bool enabled, bool onlyUpdate = false);

    // Places the page in the window between the title band and the status
    // line, growing the window when the page needs more room.
    void placeIn(QWidget* window, int bandHeight, QLabel* status, QProgressBar* progress);

private:
    QPushButton* makeButton(ButtonId id, int captionId, const char* objectName, std::optional<Entry> entry = {});

    Captions& m_captions;
    std::map<ButtonId, QPushButton*> m_buttons;
    std::map<QPushButton*, Entry> m_entries;      // buttons whose job lives elsewhere
    std::vector<QPushButton*> m_deviceButtons;    // disabled without a frame
    QLineEdit* m_fpgaPath = nullptr;
    QLineEdit* m_scriptPath = nullptr;
    QLineEdit* m_regAddr = nullptr;
    QLineEdit* m_regValue = nullptr;
    QCheckBox* m_compress = nullptr;
    QCheckBox* m_sensor = nullptr;
    QCheckBox* m_slave = nullptr;
    QTextEdit* m_output = nullptr;
    PreviewPage* m_preview = nullptr;
};

} // namespace tovrin::windows

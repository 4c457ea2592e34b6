#pragma once
// The image-debug panel of the leveling window (extended-frame device with
// Tovrin_Debug/AdjustDebug on): the controls only. The window connects
// their signals to its slots and runs the requests.

#include "leveling/core/DebugRequests.h"

#include <QWidget>

class QCheckBox;
class QLineEdit;

namespace tovrin::widgets {
class Button;
}

namespace tovrin::leveling {

class ImageDebugPanel : public QWidget {
    Q_OBJECT
public:
    explicit ImageDebugPanel(QWidget* parent = nullptr);

    // Debug view.
    QCheckBox* showMasterBackground = nullptr;  // message 145
    QCheckBox* showSlaveBackground = nullptr;   // message 146
    // Leveling settings record.
    QLineEdit* fingerInto = nullptr;            // message 147, pointValueBegin
    QLineEdit* fingerOut = nullptr;             // message 148, pointValueEnd
    QLineEdit* exposureThreshold = nullptr;     // message 149, expValue
    QLineEdit* cogradient = nullptr;            // message 150, vsyncDiff
    QCheckBox* autoUpdateBk = nullptr;
    QCheckBox* autoImageEval = nullptr;
    QCheckBox* autoStartLine = nullptr;
    QCheckBox* flashSlave = nullptr;
    widgets::Button* flashRead = nullptr;
    widgets::Button* flashWrite = nullptr;
    // Single registers.
    QLineEdit* regAddress = nullptr;
    QLineEdit* regValue = nullptr;
    QCheckBox* sensor = nullptr;
    QCheckBox* regSlave = nullptr;
    widgets::Button* read = nullptr;
    widgets::Button* write = nullptr;
    // Background zones, preview, samples.
    QCheckBox* whiteZone = nullptr;
    QCheckBox* blackZone = nullptr;
    QCheckBox* bkSlave = nullptr;
    QCheckBox* closePreview = nullptr;
    QCheckBox* onlyLastLine = nullptr;
    widgets::Button* updateBK = nullptr;
    widgets::Button* saveData = nullptr;
    widgets::Button* resetFpga = nullptr;
    // Config Column.
    QLineEdit* leftStart = nullptr;
    QLineEdit* leftEnd = nullptr;
    QLineEdit* rightStart = nullptr;
    QLineEdit* rightEnd = nullptr;
    widgets::Button* writeColumn = nullptr;

    PanelSettings settings() const;
    void showSettings(const PanelSettings& settings);
    // The thresholds the debug view draws (hexadecimal fields; 0 when unreadable).
    int fingerIntoValue() const;
    int fingerOutValue() const;
};

} // namespace tovrin::leveling

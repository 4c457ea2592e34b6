#pragma once
// The frame detection for owners without a detection thread of their own
// (tovrin-cli, the benchmark): runs the engineering detection from a given
// state until it reports the frame (13 application, 14 boot loader) or its
// absence (15, 3), hands the code on and stops.

#include "device/Detection.h"

#include <QObject>

#include <cstdint>

namespace tovrin::update {

class DetectionWait : public QObject {
    Q_OBJECT
public:
    explicit DetectionWait(QObject* parent = nullptr);
    ~DetectionWait() override;

    // Starts looking from detection state 1 (open), 3 (wait for the boot
    // loader) or 4 (wait for the application).
    void start(uint8_t state);
    void stop();

Q_SIGNALS:
    void reported(int code);

private:
    device::GetDeviceConfigThread m_thread;
    device::DetectionRelay m_relay;  // codes of the current run, in this object's thread
};

} // namespace tovrin::update

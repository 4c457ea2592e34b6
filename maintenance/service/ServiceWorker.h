#pragma once
// The life shared by the service workers of the debug page (FPGA download,
// register scripts, flash jobs): a worker (jobs/Worker.h) that reports each
// event twice, as a ServiceReport with the values of its text and as its
// bare code, and that ends when asked or when the frame is gone. The window
// switches the frame to calibration mode before it starts one, and back
// after the worker's last code.

#include "ServiceReport.h"

#include "jobs/Worker.h"

namespace tovrin::maintenance {

class ServiceWorker : public jobs::Worker {
    Q_OBJECT
public:
    explicit ServiceWorker(QObject* parent = nullptr);

Q_SIGNALS:
    // In the worker's thread: take it with a ReportInbox.
    void sendReport(const tovrin::maintenance::ServiceReport& report);

protected:
    // sendReport, then sendData with the report's code.
    void report(const ServiceReport& r);
    // Asked to stop, or the frame is no longer there.
    bool stopped() const;
};

} // namespace tovrin::maintenance

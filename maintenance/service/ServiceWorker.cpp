#include "ServiceWorker.h"

#include "device/UnitOps.h"

namespace tovrin::maintenance {

ServiceWorker::ServiceWorker(QObject* parent)
    : jobs::Worker(parent)
{
    registerServiceReport();
}

void ServiceWorker::report(const ServiceReport& r)
{
    Q_EMIT sendReport(r);
    Q_EMIT sendData(r.code);
}

bool ServiceWorker::stopped() const
{
    return stopRequested() || device::g_bDevExist.load() == 0;
}

} // namespace tovrin::maintenance

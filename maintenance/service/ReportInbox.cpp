#include "ReportInbox.h"

namespace tovrin::maintenance {

ReportInbox::ReportInbox(QObject* parent)
    : QObject(parent)
    , m_inbox([this](const ServiceReport& report) { Q_EMIT received(report); })
{
}

} // namespace tovrin::maintenance

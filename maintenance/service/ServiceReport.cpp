#include "ServiceReport.h"

namespace tovrin::maintenance {

void registerServiceReport()
{
    qRegisterMetaType<ServiceReport>("tovrin::maintenance::ServiceReport");
}

} // namespace tovrin::maintenance

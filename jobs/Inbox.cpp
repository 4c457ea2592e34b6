#include "Inbox.h"

namespace tovrin::jobs {

InboxNotice::InboxNotice(std::function<void()> deliver)
{
    connect(this, &InboxNotice::waiting, this, std::move(deliver), Qt::QueuedConnection);
}

} // namespace tovrin::jobs

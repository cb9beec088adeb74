#include "core/event_managers.h"

#include "core/marshalling.h"

namespace HaldenPlugin {

void DeliverObject(const CompletionRecord& record) {
    if (!record.callback) {
        Dispose(record.result);
        return;
    }
    record.callback(record.hr, record.result, record.userData);
}

void DeliverValue(const ValueCompletionRecord& record) {
    if (record.callback) record.callback(record.hr, record.value, record.userData);
}

}  // namespace HaldenPlugin

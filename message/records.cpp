#include "message/records.h"

namespace brevik {

std::shared_ptr<MessageRecord> makeItemRecord() {
    auto record = std::make_shared<MessageRecord>();
    record->hasStringsById = true;
    return record;
}

std::shared_ptr<MessageRecord> makeFolderRecord() {
    return std::make_shared<MessageRecord>();
}

}  // namespace brevik

#include "recovery/recovered_base.h"

namespace brevik {

void RecoveredBase::release() {
    MessageBase::release();
    clearRows();
    tableRowValues.clear();
    damagedItems.clear();
    treeNodes.clear();
    rootNode = nullptr;
    topNode = nullptr;
    ipmSubtreeId = 0;
    systemFoldersHidden = false;
}

}  // namespace brevik

#include "config/settings_record.h"

namespace tarvesk {

void SettingsRecord::applyStageChain() {
    computerReset = computerReset || abortMonitor;
    iisReset = iisReset || computerReset;
}

}  // namespace tarvesk

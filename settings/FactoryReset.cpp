#include "settings/FactoryReset.h"

#include "settings/SettingsMap.h"

namespace settings {

bool resetConfirmed(const QString& typed) {
    return typed == QLatin1String("RESET");
}

int factoryResetValue(bool clearSettings, bool clearEdid) {
    if (clearSettings && clearEdid)
        return kResetBoth;
    if (clearSettings)
        return kResetSettingsOnly;
    if (clearEdid)
        return kResetEdidOnly;
    return 0;
}

} // namespace settings

#include "winapi.h"

#include <QDir>
#include <mutex>
#include <optional>

#include "core/ini.h"

namespace {

std::mutex gLock;
std::optional<LONG> gSession;  // a change not written to the profile

QString configHome() {
    const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
    return xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.config")
                         : QString::fromLocal8Bit(xdg);
}

}  // namespace

namespace rt {
QString systemSettingsPath() {
    const QByteArray env = qgetenv("KALDOR_SYSTEM_SETTINGS");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    return configHome() + QStringLiteral("/kaldor/system.ini");
}
}  // namespace rt

int SystemParametersInfoA(unsigned action, unsigned uiParam, void* pvParam, unsigned winIni) {
    std::lock_guard<std::mutex> l(gLock);
    INIClass profile;
    profile.Init(rt::systemSettingsPath());
    switch (action) {
        case SPI::GetDragFullWindows: {
            if (!pvParam)
                return 0;
            LONG v;
            if (gSession) {
                v = *gSession;
            } else {
                // Windows shows contents while dragging unless told otherwise.
                v = profile.Fetch(u"Desktop", u"DragFullWindows", u"1").trimmed() == u"0" ? 0 : 1;
            }
            *static_cast<LONG*>(pvParam) = v;
            return 1;
        }
        case SPI::SetDragFullWindows: {
            const LONG v = uiParam ? 1 : 0;
            if (winIni & SPI::UpdateIniFile) {
                profile.Update(u"Desktop", u"DragFullWindows", v ? u"1" : u"0");
                gSession.reset();
            } else {
                gSession = v;
            }
            return 1;
        }
        default:
            return 0;
    }
}

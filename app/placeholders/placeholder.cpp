#include "placeholder.h"

#include <QJsonArray>
#include <QJsonObject>

#include "globals.h"
#include "ui/window.h"
#include "windowmanager.h"

void runPlaceholder(QStringView procedure) {
    const QString name = procedure.toString();
    const QJsonObject declaration{
        {QStringLiteral("title"), name},
        {QStringLiteral("at"), QJsonArray{QJsonValue(), QJsonValue(), 300, 160}},
        {QStringLiteral("font"), QJsonObject{{QStringLiteral("name"), QStringLiteral("Arial CYR")},
                                             {QStringLiteral("size"), 8}}},
        {QStringLiteral("icon"), QStringLiteral("OSGeo4W.ico")},
        {QStringLiteral("mdi"), true},
    };
    Window QuickWindow(rt::parseWindow(declaration));

    class Placeholder : public WindowManager {
      public:
        Placeholder(QString name, Window& window) : name_(std::move(name)), window_(window) {}
        int Init() override {
            GlobalErrors.SetProcedureName(name_);
            Request = GlobalRequest;
            const int level = WindowManager::Init();
            if (level != Level::Benign)
                return level;
            VCRRequest = &::VCRRequest;
            Errors = &GlobalErrors;
            GlobalRequest = 0;
            GlobalResponse = 0;
            Open(window_);
            INIMgr.Fetch(name_, window_);
            SetAlerts();
            return level;
        }
        int Kill() override {
            const int level = WindowManager::Kill();
            if (level != Level::Benign)
                return level;
            if (Opened)
                INIMgr.Update(name_, window_);
            GlobalErrors.SetProcedureName();
            return level;
        }

      private:
        QString name_;
        Window& window_;
    };
    {
        Placeholder ThisWindow(name, QuickWindow);
        GlobalResponse = BYTE(ThisWindow.Run());
    }
    QuickWindow.close();
}

#include "demo_register.h"

#include <QStringList>

bool DemoRegister::bind(rt::Report& report) {
    bool ok = report.bind(u"TEMA", ref(TEMA));
    ok = report.bind(u"KAL:PNAME1", ref(PNAME1)) && ok;
    ok = report.bind(u"KAL:PNAME2", ref(PNAME2)) && ok;
    ok = report.bind(u"KAL:PNAME3", ref(PNAME3)) && ok;
    ok = report.bind(u"KAL:NDOK", ref(NDOK)) && ok;
    ok = report.bind(u"KAL:UTVDATA", ref(UTVDATA)) && ok;
    ok = report.bind(u"KAL:VVODDATA", ref(VVODDATA)) && ok;
    return ok;
}

void DemoRegister::load(int n) {
    static const QStringList kinds = {
        QStringLiteral("Федеральный закон"),
        QStringLiteral("Постановление Правительства Российской Федерации"),
        QStringLiteral("Приказ Министерства финансов Российской Федерации"),
        QStringLiteral("Указ Президента Российской Федерации"),
    };
    static const QStringList subjects = {
        QStringLiteral("О бухгалтерском учёте"),
        QStringLiteral("Об утверждении правил ведения реестра документов"),
        QStringLiteral("О порядке рассмотрения обращений граждан"),
        QStringLiteral("О внесении изменений в отдельные законодательные акты"),
        QStringLiteral("Об архивном деле в Российской Федерации"),
    };
    const int approved = rt::dayNumber(2001, 1, 1) + n * 3;
    int y, m, d;
    rt::calendarDate(approved, &y, &m, &d);
    PNAME1 = QStringLiteral("%1 от %2.%3.%4 № %5")
                 .arg(kinds[n % kinds.size()])
                 .arg(d, 2, 10, QLatin1Char('0'))
                 .arg(m, 2, 10, QLatin1Char('0'))
                 .arg(y)
                 .arg(n);
    PNAME2 = QStringLiteral("\"%1\"").arg(subjects[n % subjects.size()]);
    // Every third card has no third line, every seventh no date of entry into force.
    PNAME3 = n % 3 == 0 ? QString() : QStringLiteral("(в редакции от %1 года)").arg(y + 1);
    NDOK = QStringLiteral("%1-ФЗ").arg(n);
    UTVDATA = approved;
    VVODDATA = n % 7 == 0 ? 0 : approved + 10;
}

bool DemoRegister::print(rt::Report& report, int cards) {
    if (!report.open())
        return false;
    report.setText(u"?REPORTDATESTAMP", QStringLiteral("14.03.2024"));
    report.setText(u"?REPORTTIMESTAMP", QStringLiteral("10:25"));
    for (int n = 1; n <= cards; ++n) {
        load(n);
        if (!report.print(u"?DETAIL"))
            return false;
    }
    report.close();
    return true;
}

std::shared_ptr<const rt::ReportDeclaration> registerDeclaration() {
    return rt::ReportDeclaration::load(u"kaldor$kaldo011", u"P1$REPORT");
}

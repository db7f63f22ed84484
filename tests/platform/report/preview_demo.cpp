// Shows the register of a made-up base in the print preview, for a look at it
// under a display (scripts/screenshot-preview).
//   report_preview_demo [--cards N] [--zoom P] [--pdf FILE] [--screenshot FILE]
// With --screenshot the window is grabbed once it has settled and the program ends.

#include <QApplication>
#include <QCommandLineParser>
#include <QLocale>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <thread>

#include "core/picture.h"
#include "core/resources.h"
#include "core/threads.h"
#include "demo_register.h"
#include "report/preview.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser args;
    args.addOptions({{QStringLiteral("cards"), QStringLiteral("cards"), QStringLiteral("n"),
                      QStringLiteral("60")},
                     {QStringLiteral("zoom"), QStringLiteral("zoom"), QStringLiteral("percent"),
                      QStringLiteral("100")},
                     {QStringLiteral("pdf"), QStringLiteral("save as PDF"), QStringLiteral("file")},
                     {QStringLiteral("screenshot"), QStringLiteral("grab the window"),
                      QStringLiteral("file")}});
    args.process(app);
    // The program's users read Russian dates and times.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    rt::addResourceFolder(QStringLiteral(KALDOR_SOURCE_DIR "/resources"));

    auto decl = registerDeclaration();
    if (!decl) {
        std::fprintf(stderr, "no register declaration\n");
        return 1;
    }
    rt::Report report(decl);
    DemoRegister reg;
    reg.bind(report);
    reg.TEMA = u"Демонстрационная база документов";
    const int cards = args.value(QStringLiteral("cards")).toInt();

    // The records are read on a thread of their own, as a report procedure does.
    if (!report.open())
        return 1;
    auto doc = report.document();
    std::thread reader([&] {
        rt::ThreadScope scope;
        report.setText(u"?REPORTDATESTAMP", FORMAT(TODAY(), u"@D17"));
        report.setText(u"?REPORTTIMESTAMP", FORMAT(CLOCK(), u"@T7"));
        for (int n = 1; n <= cards; ++n) {
            reg.load(n);
            report.print(u"?DETAIL");
        }
        report.close();
    });

    PrintPreviewClass preview;
    preview.setInitialZoom(args.value(QStringLiteral("zoom")).toInt());
    preview.setMaximize(true);
    preview.display(doc);
    QObject::connect(&preview, &PrintPreviewClass::closed, &app, &QApplication::quit);

    const QString shot = args.value(QStringLiteral("screenshot"));
    const QString pdf = args.value(QStringLiteral("pdf"));
    if (!shot.isEmpty() || !pdf.isEmpty()) {
        QTimer::singleShot(1500, &preview, [&] {
            doc->waitFinished(-1);
            if (!shot.isEmpty()) {
                QScreen* screen = preview.screen();
                const QPixmap p = screen->grabWindow(0);
                (p.isNull() ? preview.grab() : p).save(shot);
            }
            // The pages are written beside the window: it closes when they are.
            if (pdf.isEmpty() || !preview.savePdf(pdf))
                preview.close();
        });
        QObject::connect(&preview, &PrintPreviewClass::outputFinished, &preview,
                         &PrintPreviewClass::close);
    }
    const int rc = app.exec();
    reader.join();
    return rc;
}

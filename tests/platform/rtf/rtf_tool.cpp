// A command-line companion of the RTF tests, used by scripts/make-rtf-corpus to
// check files against LibreOffice:
//   rtf_tool text  <in.rtf>            the plain text the reader finds
//   rtf_tool write <in.rtf> <out.rtf>  read and write again

#include <QFile>
#include <QGuiApplication>
#include <QTextDocument>
#include <cstdio>

#include "rtf.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3 || (args[1] == u"write" && args.size() < 4)) {
        std::fprintf(stderr, "usage: rtf_tool text <in.rtf> | write <in.rtf> <out.rtf>\n");
        return 2;
    }
    QTextDocument doc;
    QString error;
    if (!rt::loadRtfFile(args[2], &doc, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    if (args[1] == u"text") {
        const QByteArray text = doc.toPlainText().toUtf8();
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        std::fputc('\n', stdout);
        return 0;
    }
    if (!rt::saveRtfFile(args[3], doc, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    return 0;
}

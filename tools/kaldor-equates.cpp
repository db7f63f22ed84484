// kaldor-equates <module>.json <header>: writes the control numbers of a
// resource module as a C++ header (tools/equates.h). The header is rewritten
// only when its text changes, so that a new build of the tool recompiles
// nothing.

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>

#include "equates.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kaldor-equates <module>.json <header>\n");
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QString target = QString::fromLocal8Bit(argv[2]);
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], qPrintable(in.errorString()));
        return 1;
    }
    QString header, error;
    if (!equates::controlHeader(QFileInfo(source).completeBaseName().toLower(), in.readAll(),
                                &header, &error)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], qPrintable(error));
        return 1;
    }
    const QByteArray text = header.toUtf8();
    QFile old(target);
    if (old.open(QIODevice::ReadOnly) && old.readAll() == text)
        return 0;
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
        std::fprintf(stderr, "%s: %s\n", argv[2], qPrintable(out.errorString()));
        return 1;
    }
    return 0;
}

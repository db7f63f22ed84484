#pragma once
// The document of the RTF benchmarks: a corpus file written by LibreOffice
// (Russian text, tables, lists, colours) with its body repeated until it is
// 5 MB, made once per run and kept in a temporary folder as "big.rtf".

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace bench {

inline constexpr qsizetype kBigRtfSize = 5 * 1024 * 1024;

// The run's temporary folder.
inline QTemporaryDir& workDir() {
    static QTemporaryDir dir;
    return dir;
}

inline const QByteArray& bigRtf() {
    static const QByteArray doc = [] {
        QFile f(QStringLiteral(KALDOR_SOURCE_DIR "/tests/data/rtf/lo-polozhenie.rtf"));
        if (!f.open(QIODevice::ReadOnly))
            qFatal("corpus file missing");
        const QByteArray src = f.readAll();
        const qsizetype begin = src.indexOf("\\pard\\plain");
        const qsizetype end = src.lastIndexOf('}');
        const QByteArray body = src.mid(begin, end - begin) + "\\par\n";
        QByteArray out = src.left(begin);
        while (out.size() < kBigRtfSize)
            out += body;
        out += "}\n";
        QFile file(workDir().filePath(QStringLiteral("big.rtf")));
        if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size())
            qFatal("cannot write the benchmark's document");
        return out;
    }();
    return doc;
}

// The same document as a file.
inline QString bigRtfPath() {
    bigRtf();
    return workDir().filePath(QStringLiteral("big.rtf"));
}

}  // namespace bench

// kaldor-demo: makes a demo catalogue where there is none yet.
//
// It writes, through the program's own tables, the catalogue at its fixed
// place on drive C (topics and bases), and in each base's folder the cards of
// its documents, their texts as RTF and their bookmarks; then the sample
// source document "C:\kaldor_demo\1.rtf" and the folder "c:\kaldor". The texts
// come from demo.json, carried in the program. A catalogue that exists is
// left alone.

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QTextTableFormat>
#include <cstdio>

#include "app/globals.h"
#include "core/paths.h"
#include "core/threads.h"
#include "dictionary.h"
#include "rtf.h"

namespace {

const QString kRoot = QStringLiteral("c:\\kaldor_demo\\");

void say(const QString& s) {
    std::fprintf(stderr, "kaldor-demo: %s\n", s.toLocal8Bit().constData());
}

LONG dayOf(const QString& iso) {
    const QDate d = QDate::fromString(iso, Qt::ISODate);
    return d.isValid() ? rt::dayNumber(d.year(), d.month(), d.day()) : 0;
}

QString dateText(const QString& iso) {
    const QDate d = QDate::fromString(iso, Qt::ISODate);
    return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : QString();
}

// The text of a document as a word processor would lay it out: its heading,
// its full name, number and date, numbered articles, a table where given.
QByteArray documentRtf(const QJsonObject& doc) {
    QTextDocument d;
    QFont base(QStringLiteral("Times New Roman"), 12);
    d.setDefaultFont(base);
    QTextCursor c(&d);

    QTextBlockFormat centre;
    centre.setAlignment(Qt::AlignHCenter);
    centre.setBottomMargin(6);
    QTextCharFormat heading;
    heading.setFontFamilies({QStringLiteral("Times New Roman")});
    heading.setFontPointSize(14);
    heading.setFontWeight(QFont::Bold);
    c.setBlockFormat(centre);
    c.setCharFormat(heading);
    c.insertText(doc.value(QLatin1String("title")).toString());

    QTextCharFormat plain;
    plain.setFontFamilies({QStringLiteral("Times New Roman")});
    plain.setFontPointSize(12);
    QTextCharFormat italic = plain;
    italic.setFontItalic(true);
    QStringList pname;
    for (const QJsonValue& v : doc.value(QLatin1String("pname")).toArray()) {
        if (!v.toString().isEmpty())
            pname << v.toString();
    }
    c.insertBlock(centre, italic);
    c.insertText(pname.join(u' '));

    const QString ndok = doc.value(QLatin1String("ndok")).toString();
    const QString approved = dateText(doc.value(QLatin1String("approved")).toString());
    if (!ndok.isEmpty() || !approved.isEmpty()) {
        QTextBlockFormat right;
        right.setAlignment(Qt::AlignRight);
        right.setBottomMargin(12);
        c.insertBlock(right, plain);
        QString line;
        if (!approved.isEmpty())
            line = QStringLiteral("Утверждено %1").arg(approved);
        if (!ndok.isEmpty()) {
            const QString number = ndok.startsWith(u'№') ? ndok : QStringLiteral("№ ") + ndok;
            line += (line.isEmpty() ? QString() : QStringLiteral(", ")) + number;
        }
        c.insertText(line);
    }

    QTextBlockFormat article;
    article.setTopMargin(10);
    article.setBottomMargin(4);
    QTextCharFormat articleHead = plain;
    articleHead.setFontWeight(QFont::Bold);
    QTextBlockFormat body;
    body.setAlignment(Qt::AlignJustify);
    body.setTextIndent(28);
    body.setBottomMargin(4);
    int n = 0;
    for (const QJsonValue& a : doc.value(QLatin1String("articles")).toArray()) {
        const QJsonArray parts = a.toArray();
        if (parts.isEmpty())
            continue;
        c.insertBlock(article, articleHead);
        c.insertText(QStringLiteral("Статья %1. %2").arg(++n).arg(parts[0].toString()));
        for (int i = 1; i < parts.size(); ++i) {
            c.insertBlock(body, plain);
            c.insertText(QStringLiteral("%1.%2. %3").arg(n).arg(i).arg(parts[i].toString()));
        }
    }

    const QJsonArray table = doc.value(QLatin1String("table")).toArray();
    if (!table.isEmpty()) {
        c.insertBlock(body, plain);
        QTextTableFormat tf;
        tf.setBorder(1);
        tf.setCellPadding(3);
        tf.setCellSpacing(0);
        tf.setBorderCollapse(true);
        const int columns = int(table[0].toArray().size());
        QTextTable* t = c.insertTable(int(table.size()), columns, tf);
        QTextCharFormat head = plain;
        head.setFontWeight(QFont::Bold);
        for (int r = 0; r < table.size(); ++r) {
            const QJsonArray row = table[r].toArray();
            for (int k = 0; k < columns && k < row.size(); ++k) {
                QTextCursor cell = t->cellAt(r, k).firstCursorPosition();
                cell.insertText(row[k].toString(), r == 0 ? head : plain);
            }
        }
        c.movePosition(QTextCursor::End);
    }
    return rt::writeRtf(d);
}

bool addTopics(const QJsonArray& topics) {
    for (const QJsonValue& v : topics) {
        const QJsonObject t = v.toObject();
        Access_RUBRIKA->PrimeRecord();
        RUB.NAME1 = t.value(QLatin1String("name1")).toString();
        RUB.NAME2 = t.value(QLatin1String("name2")).toString();
        RUB.RTG = 0;
        if (Access_RUBRIKA->Insert() != Level::Benign)
            return false;
    }
    return true;
}

// One base: its catalogue row, then its documents in its own folder.
bool addBase(const QJsonObject& b, const QJsonArray& documents) {
    const QString folder = b.value(QLatin1String("folder")).toString();
    const QString path = kRoot + folder + u'\\';
    if (!QDir().mkpath(rt::nativePath(path))) {
        say(QStringLiteral("cannot make the folder %1").arg(rt::nativePath(path)));
        return false;
    }
    Access_CONFIG->PrimeRecord();
    CON.ID = b.value(QLatin1String("topic")).toInt();
    CON.PATH = path;
    CON.NAME = b.value(QLatin1String("name")).toString();
    CON.RTG = 0;
    CON.ON_OFF = BYTE(b.value(QLatin1String("on")).toInt());
    if (Access_CONFIG->Insert() != Level::Benign)
        return false;

    // The base's tables open under the names the active base gives them.
    PUT1 = path + QStringLiteral("KALDOR.TPS");
    PUT2 = path + QStringLiteral("ZAMETKA.TPS");
    Relate_KALDOR->SetOpenRelated();
    Relate_KALDOR->Open();
    bool ok = true;
    for (const QJsonValue& v : documents) {
        const QJsonObject d = v.toObject();
        if (d.value(QLatin1String("base")).toString() != folder)
            continue;
        Access_KALDOR->PrimeRecord();
        KAL.KODTER = BYTE(d.value(QLatin1String("status")).toInt());
        KAL.NAME = d.value(QLatin1String("name")).toString();
        const QJsonArray pname = d.value(QLatin1String("pname")).toArray();
        KAL.PNAME1 = pname.at(0).toString();
        KAL.PNAME2 = pname.at(1).toString();
        KAL.PNAME3 = pname.at(2).toString();
        KAL.NDOK = d.value(QLatin1String("ndok")).toString();
        KAL.UTVDATA = dayOf(d.value(QLatin1String("approved")).toString());
        KAL.VVODDATA = dayOf(d.value(QLatin1String("inforce")).toString());
        KAL.WORDKEY = d.value(QLatin1String("keywords")).toString();
        KAL.NFILE = QStringLiteral("C:\\kaldor_demo\\1.rtf");
        KAL.ZAKON.setData(documentRtf(d));
        KAL.RABZAKON.clear();
        if (Access_KALDOR->Insert() != Level::Benign) {
            ok = false;
            break;
        }
        const LONG card = KAL.ID;
        for (const QJsonValue& m : d.value(QLatin1String("bookmarks")).toArray()) {
            const QJsonArray mark = m.toArray();
            Access_ZAMETKA->PrimeRecord();
            ZAM.IDDOK = card;
            ZAM.ZAKLAD = mark.at(0).toString();
            ZAM.POTEXT = mark.at(1).toString();
            if (Access_ZAMETKA->Insert() != Level::Benign) {
                ok = false;
                break;
            }
        }
    }
    Relate_KALDOR->Close();
    return ok;
}

bool writeSample(const QJsonObject& doc) {
    QTextDocument d;
    QString error;
    if (!rt::readRtf(documentRtf(doc), &d, &error) ||
        !rt::saveRtfFile(QStringLiteral("C:\\kaldor_demo\\1.rtf"), d, &error)) {
        say(QStringLiteral("cannot write the sample document: %1").arg(error));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Text layout needs a GUI application; no window is shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    Q_INIT_RESOURCE(kaldor_demo);

    const QString catalogue = rt::nativePath(kRoot + QStringLiteral("config.dat"));
    if (QFileInfo::exists(catalogue)) {
        say(QStringLiteral("the catalogue %1 exists; nothing written").arg(catalogue));
        return 0;
    }
    QFile source(QStringLiteral(":/demo/demo.json"));
    if (!source.open(QIODevice::ReadOnly)) {
        say(QStringLiteral("the demo texts are missing"));
        return 1;
    }
    const QJsonObject demo = QJsonDocument::fromJson(source.readAll()).object();
    if (!QDir().mkpath(rt::nativePath(kRoot)) ||
        !QDir().mkpath(rt::nativePath(QStringLiteral("c:\\kaldor")))) {
        say(QStringLiteral("cannot make the folders on drive C (%1)").arg(rt::driveFolder(u'C')));
        return 1;
    }

    rt::ThreadScope thread(true);
    DctInit();
    Relate_CONFIG->SetOpenRelated();
    Relate_CONFIG->Open();
    bool ok = addTopics(demo.value(QLatin1String("topics")).toArray());
    const QJsonArray documents = demo.value(QLatin1String("documents")).toArray();
    for (const QJsonValue& b : demo.value(QLatin1String("bases")).toArray()) {
        if (!ok)
            break;
        ok = addBase(b.toObject(), documents);
    }
    Relate_CONFIG->Close();
    if (ok && !documents.isEmpty())
        ok = writeSample(documents.first().toObject());
    DctKill();
    if (!ok) {
        // A half-made catalogue would stop the next run from making a whole one.
        QFile::remove(catalogue);
        QFile::remove(rt::nativePath(kRoot + QStringLiteral("rubrika.dat")));
        say(QStringLiteral("the demo catalogue could not be written"));
        return 1;
    }
    say(QStringLiteral("demo catalogue written in %1").arg(rt::nativePath(kRoot)));
    return 0;
}

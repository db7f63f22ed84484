#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTextDocument>

#include "codepage.h"
#include "errors.h"
#include "paths.h"
#include "rtf.h"

namespace rt {

namespace {

// The runtime's error code for a file that could not be opened or written.
int errorCode(QFileDevice::FileError e, const QString& path) {
    switch (e) {
        case QFileDevice::OpenError:
            if (!QFileInfo::exists(path))
                return QFileInfo(path).dir().exists() ? ErrCode::NoFile : ErrCode::PathNotFound;
            return ErrCode::AccessDenied;
        case QFileDevice::PermissionsError:
            return ErrCode::AccessDenied;
        default:
            return ErrCode::FileSystem;
    }
}

bool fail(QString* error, int code, const QString& path, const QString& text) {
    setError(code, path, text);
    if (error)
        *error = text;
    return false;
}

// The whole file, or nothing with the error set.
bool readWhole(QStringView programFileName, const QString& path, QByteArray* data, QString* error) {
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        const int code = path.isEmpty() ? ErrCode::NoFile : errorCode(file.error(), path);
        return fail(error, code, path,
                    QStringLiteral("Не удалось открыть файл «%1»: %2")
                        .arg(programFileName.toString(), errorText(code)));
    }
    *data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return fail(error, ErrCode::FileSystem, path,
                    QStringLiteral("Не удалось прочитать файл «%1»: %2")
                        .arg(programFileName.toString(), file.errorString()));
    }
    return true;
}

// The text of bytes that are plain text; false for anything with control
// characters (binary files, UTF-16) in it.
bool plainText(const QByteArray& data, QString* text) {
    for (const char c : data) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f')
            return false;
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString s = utf8(data);
    if (utf8.hasError()) {
        s.clear();
        rtfdetail::appendDecoded(s, data.constData(), data.size(), 1251);
    }
    if (s.startsWith(QChar(0xFEFF)))
        s.remove(0, 1);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(u'\r', u'\n');
    *text = s;
    return true;
}

bool load(QStringView programFileName, QTextDocument* doc, bool* isPlain, QString* error) {
    doc->clear();
    if (isPlain)
        *isPlain = false;
    const QString path = nativePath(programFileName);
    QByteArray data;
    if (!readWhole(programFileName, path, &data, error))
        return false;
    QString why;
    if (!readRtf(data, doc, &why)) {
        QString text;
        if (!isPlain || !plainText(data, &text)) {
            return fail(error, ErrCode::InvalidFile, path,
                        QStringLiteral("%1: «%2»").arg(why, programFileName.toString()));
        }
        doc->setPlainText(text);
        doc->setModified(false);
        *isPlain = true;
    }
    clearError();
    return true;
}

}  // namespace

bool loadRtfFile(QStringView programFileName, QTextDocument* doc, QString* error) {
    return load(programFileName, doc, nullptr, error);
}

bool loadDocumentFile(QStringView programFileName, QTextDocument* doc, bool* plainText,
                      QString* error) {
    bool plain = false;
    const bool ok = load(programFileName, doc, &plain, error);
    if (plainText)
        *plainText = plain;
    return ok;
}

bool saveRtfFile(QStringView programFileName, const QTextDocument& doc, QString* error) {
    return saveRtfData(programFileName, writeRtf(doc), error);
}

bool saveRtfData(QStringView programFileName, const QByteArray& data, QString* error) {
    const QString path = nativePath(programFileName);
    QSaveFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(data) != data.size() ||
        !file.commit()) {
        const int code = path.isEmpty() ? ErrCode::PathNotFound : errorCode(file.error(), path);
        return fail(error, code, path,
                    QStringLiteral("Не удалось записать файл «%1»: %2")
                        .arg(programFileName.toString(), errorText(code)));
    }
    clearError();
    return true;
}

}  // namespace rt

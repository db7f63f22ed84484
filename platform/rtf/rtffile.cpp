#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextDocument>

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

}  // namespace

bool loadRtfFile(QStringView programFileName, QTextDocument* doc, QString* error) {
    doc->clear();
    const QString path = nativePath(programFileName);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        const int code = path.isEmpty() ? ErrCode::NoFile : errorCode(file.error(), path);
        return fail(error, code, path,
                    QStringLiteral("Не удалось открыть файл «%1»: %2")
                        .arg(programFileName.toString(), errorText(code)));
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return fail(error, ErrCode::FileSystem, path,
                    QStringLiteral("Не удалось прочитать файл «%1»: %2")
                        .arg(programFileName.toString(), file.errorString()));
    }
    QString why;
    if (!readRtf(data, doc, &why)) {
        return fail(error, ErrCode::InvalidFile, path,
                    QStringLiteral("%1: «%2»").arg(why, programFileName.toString()));
    }
    clearError();
    return true;
}

bool saveRtfFile(QStringView programFileName, const QTextDocument& doc, QString* error) {
    const QString path = nativePath(programFileName);
    QSaveFile file(path);
    const QByteArray data = writeRtf(doc);
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

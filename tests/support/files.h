#pragma once
// Whole files for tests, read or written in one step.

#include <QByteArray>
#include <QFile>
#include <QString>

// The bytes of the file at `path`; empty when it cannot be read (*ok false).
inline QByteArray fileBytes(const QString& path, bool* ok = nullptr) {
    QFile f(path);
    const bool opened = f.open(QIODevice::ReadOnly);
    if (ok)
        *ok = opened;
    return opened ? f.readAll() : QByteArray();
}

// Makes `bytes` the whole of the file at `path`; false when it could not.
inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

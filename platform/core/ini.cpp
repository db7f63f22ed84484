#include "ini.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <cstdio>

#include "paths.h"

namespace {

QString configHome() {
    const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
    if (!xdg.isEmpty())
        return QString::fromLocal8Bit(xdg);
    return QDir::homePath() + QStringLiteral("/.config");
}

void warn(const QString& text) {
    std::fputs(("kaldor: " + text + "\n").toUtf8().constData(), stderr);
}

QString key(QStringView s) {
    return s.toString().trimmed().toLower();
}

}  // namespace

void INIClass::Init(QStringView fileName, int /*kind*/, int /*extra*/) {
    std::lock_guard<std::mutex> l(m_);
    QString name = fileName.toString().trimmed();
    if (name.isEmpty())
        name = QStringLiteral("kaldor.INI");
    const bool bare = !name.contains(u'/') && !name.contains(u'\\') && !name.contains(u':');
    if (bare) {
        const QString dir = configHome() + QStringLiteral("/kaldor");
        QDir().mkpath(dir);
        path_ = dir + u'/' + name;
    } else {
        path_ = rt::nativePath(name);
    }
    data_.clear();
    sectionNames_.clear();
    loaded_ = false;
}

void INIClass::Kill() {
    std::lock_guard<std::mutex> l(m_);
    data_.clear();
    sectionNames_.clear();
    loaded_ = false;
}

QString INIClass::path() const {
    std::lock_guard<std::mutex> l(m_);
    return path_;
}

void INIClass::loadLocked() {
    const QFileInfo info(path_);
    const qint64 size = info.exists() ? info.size() : -1;
    const qint64 time = info.exists() ? info.lastModified().toMSecsSinceEpoch() : -1;
    if (loaded_ && size == stampSize_ && time == stampTime_)
        return;
    loaded_ = true;
    stampSize_ = size;
    stampTime_ = time;
    data_.clear();
    sectionNames_.clear();
    if (path_.isEmpty())
        return;
    QFile f(path_);
    if (!f.exists())
        return;
    if (!f.open(QIODevice::ReadOnly)) {
        warn(QStringLiteral("cannot read settings file %1 (%2); defaults are used")
                 .arg(path_, f.errorString()));
        return;
    }
    const QByteArray bytes = f.readAll();
    // A settings file is small text; NUL bytes mean it was damaged.
    if (bytes.contains('\0')) {
        warn(QStringLiteral("settings file %1 is damaged; defaults are used").arg(path_));
        return;
    }
    const QString text = QString::fromUtf8(bytes);
    QString section;
    int lineNo = 0;
    bool complained = false;
    for (QString line : text.split(u'\n')) {
        ++lineNo;
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString t = line.trimmed();
        if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'#'))
            continue;
        if (t.startsWith(u'[')) {
            if (!t.endsWith(u']')) {
                if (!complained) {
                    warn(QStringLiteral("settings file %1, line %2: bad section header ignored")
                             .arg(path_)
                             .arg(lineNo));
                    complained = true;
                }
                section.clear();
                continue;
            }
            const QString name = t.mid(1, t.size() - 2).trimmed();
            section = key(name);
            if (!sectionNames_.count(section))
                sectionNames_[section] = name;
            data_[section];
            continue;
        }
        const int eq = t.indexOf(u'=');
        if (eq <= 0 || section.isEmpty()) {
            if (!complained) {
                warn(QStringLiteral("settings file %1, line %2: line ignored")
                         .arg(path_)
                         .arg(lineNo));
                complained = true;
            }
            continue;
        }
        data_[section][key(t.left(eq))] = t.mid(eq + 1).trimmed();
    }
}

bool INIClass::saveLocked() {
    if (path_.isEmpty())
        return false;
    QString out;
    for (const auto& [sec, entries] : data_) {
        out += u'[' + (sectionNames_.count(sec) ? sectionNames_[sec] : sec) + QStringLiteral("]\n");
        for (const auto& [name, value] : entries) {
            out += name + u'=' + value + u'\n';
        }
        out += u'\n';
    }
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QSaveFile f(path_);
    if (!f.open(QIODevice::WriteOnly)) {
        warn(QStringLiteral("cannot write settings file %1 (%2)").arg(path_, f.errorString()));
        return false;
    }
    f.write(out.toUtf8());
    if (!f.commit()) {
        warn(QStringLiteral("cannot write settings file %1 (%2)").arg(path_, f.errorString()));
        return false;
    }
    return true;
}

std::optional<QString> INIClass::TryFetch(QStringView section, QStringView name) {
    std::lock_guard<std::mutex> l(m_);
    loadLocked();
    auto s = data_.find(key(section));
    if (s == data_.end())
        return std::nullopt;
    auto v = s->second.find(key(name));
    if (v == s->second.end())
        return std::nullopt;
    return v->second;
}

QString INIClass::Fetch(QStringView section, QStringView name, QStringView defaultValue) {
    auto v = TryFetch(section, name);
    return v ? *v : defaultValue.toString();
}

void INIClass::setLocked(QStringView section, QStringView name, QStringView value) {
    const QString s = key(section);
    if (!sectionNames_.count(s))
        sectionNames_[s] = section.toString().trimmed();
    // A value is one line: line breaks would split it on the next read.
    QString v = value.toString();
    v.replace(u'\n', u' ').replace(u'\r', u' ');
    data_[s][key(name)] = v;
}

void INIClass::Update(QStringView section, QStringView name, QStringView value) {
    std::lock_guard<std::mutex> l(m_);
    // Re-read first: another window (or another copy of the program) may have
    // written its own settings since we last looked.
    loaded_ = false;
    loadLocked();
    setLocked(section, name, value);
    saveLocked();
}

void INIClass::DeleteEntry(QStringView section, QStringView name) {
    std::lock_guard<std::mutex> l(m_);
    loaded_ = false;
    loadLocked();
    auto s = data_.find(key(section));
    if (s == data_.end())
        return;
    if (s->second.erase(key(name)))
        saveLocked();
}

void INIClass::Fetch(QStringView procedure, PlacedWindow& window) {
    auto get = [&](const char* n) { return TryFetch(procedure, QString::fromLatin1(n)); };
    const auto x = get("XPos"), y = get("YPos"), w = get("Width"), h = get("Height");
    if (!x || !y)
        return;
    bool okx = false, oky = false, okw = false, okh = false;
    WindowPlacement p = window.placement();
    const int xv = x->toInt(&okx);
    const int yv = y->toInt(&oky);
    if (!okx || !oky)
        return;
    p.x = xv;
    p.y = yv;
    if (w && h) {
        const int wv = w->toInt(&okw);
        const int hv = h->toInt(&okh);
        if (okw && okh && wv > 0 && hv > 0) {
            p.width = wv;
            p.height = hv;
        }
    }
    if (auto m = get("Maximize"))
        p.maximized = m->trimmed() == u"1";
    window.setPlacement(p);
}

void INIClass::Update(QStringView procedure, PlacedWindow& window) {
    const WindowPlacement p = window.placement();
    std::lock_guard<std::mutex> l(m_);
    loaded_ = false;
    loadLocked();
    // One write for the whole placement: a crash between fields would otherwise
    // leave a window at a new place with its old size.
    setLocked(procedure, u"XPos", QString::number(p.x));
    setLocked(procedure, u"YPos", QString::number(p.y));
    setLocked(procedure, u"Width", QString::number(p.width));
    setLocked(procedure, u"Height", QString::number(p.height));
    setLocked(procedure, u"Maximize", p.maximized ? u"1" : u"0");
    saveLocked();
}

#pragma once
// The settings store: one INI file of plain UTF-8 text. Every write replaces the
// file whole and atomically (written beside it, then renamed), so a crash never
// leaves half a settings file; a damaged file gives defaults and a warning.

#include <QString>
#include <QStringView>
#include <map>
#include <mutex>
#include <optional>

// A window's place on the screen, as kept under a procedure's name.
struct WindowPlacement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool maximized = false;
};

// What INIClass needs of a window to keep its placement.
class PlacedWindow {
  public:
    virtual ~PlacedWindow() = default;
    virtual WindowPlacement placement() const = 0;
    virtual void setPlacement(const WindowPlacement& p) = 0;
};

class INIClass {
  public:
    // `fileName` is a program file name; a bare name lives in the user's
    // configuration folder ($XDG_CONFIG_HOME/kaldor/). Kind 0 is an INI file.
    void Init(QStringView fileName, int kind = 0, int extra = 0);
    void Kill();

    // Window placement under a procedure's name.
    void Fetch(QStringView procedure, PlacedWindow& window);
    void Update(QStringView procedure, PlacedWindow& window);
    // Program-wide settings hook; nothing to do.
    void Update() {}

    // Named values in sections.
    QString Fetch(QStringView section, QStringView name, QStringView defaultValue = {});
    std::optional<QString> TryFetch(QStringView section, QStringView name);
    void Update(QStringView section, QStringView name, QStringView value);
    void DeleteEntry(QStringView section, QStringView name);

    // The native path of the file in use.
    QString path() const;

  private:
    void loadLocked();
    bool saveLocked();
    void setLocked(QStringView section, QStringView name, QStringView value);
    mutable std::mutex m_;
    QString path_;
    bool loaded_ = false;
    // What the file was when last read: another object or process may write it.
    qint64 stampSize_ = -1;
    qint64 stampTime_ = -1;
    // section -> name -> value, in file order of first appearance
    std::map<QString, std::map<QString, QString>> data_;
    std::map<QString, QString> sectionNames_;  // lower-case key -> as written
};

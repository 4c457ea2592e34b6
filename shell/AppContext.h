#pragma once
// The application context: one object per process, built at start-up and
// rebuilt after a language change. It holds the tool flavour, the screen
// orientation, the message texts of the current language, the skin folder,
// the current log file and the three fonts.
// Every thread may log through it; the other fields are written only by the
// window thread while no worker runs.

#include <QString>
#include <QStringList>

#include <atomic>
#include <mutex>
#include <string>

namespace tovrin::shell {

// A font described by family and point size; turned into a QFont by the
// widget layer (a QFont needs a GUI application, the context does not).
struct FontStyle {
    QString family;
    int pointSize = 0;
};

class AppContext {
public:
    static AppContext& instance();

    // Fields in the order the rest of the tool knows them.
    std::atomic<int> toolFlavour{1};          // ChooseToolEnable after start-up (0-4)
    std::atomic<int> portrait{0};             // 1 when the screen is at least as tall as wide
    // The extended-frame flag (status byte 26) is device::ExtendedFrameDevice
    // of device/DeviceStatus.h, written by the status test: one flag, one place.

    // Message text by id in the current language; an unknown id gives an empty text.
    QString text(int id) const;
    QStringList texts() const;
    void setTexts(QStringList texts);

    QString skinPath() const;                 // "<shared folder>/skin/1920/" and the like
    void setSkinPath(const QString& path);

    // Current log file ("<data folder>/log/<date>/Tovrin_log_HHMMSS.txt") and the same
    // path without ".txt", ending in "_", for other files of the same run.
    std::string logFilePath() const;
    std::string logPrefix() const;

    FontStyle titleFont() const;
    FontStyle buttonFont() const;
    FontStyle applicationFont() const;
    void setFonts(const FontStyle& title, const FontStyle& button, const FontStyle& application);

    // Appends to the log (see Log.h for the format).
    void WriteLog(const std::string& text, bool newFile = false, bool raw = false);

private:
    AppContext() = default;
    mutable std::mutex m_mutex;
    QStringList m_texts;
    QString m_skinPath;
    std::string m_logFilePath;
    std::string m_logPrefix;
    FontStyle m_titleFont;
    FontStyle m_buttonFont;
    FontStyle m_applicationFont;
};

inline AppContext& context() { return AppContext::instance(); }

} // namespace tovrin::shell

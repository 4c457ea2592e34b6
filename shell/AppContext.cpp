#include "AppContext.h"

namespace tovrin::shell {

AppContext& AppContext::instance()
{
    static AppContext ctx;
    return ctx;
}

QString AppContext::text(int id) const
{
    std::lock_guard lock(m_mutex);
    return (id >= 0 && id < m_texts.size()) ? m_texts.at(id) : QString();
}

QStringList AppContext::texts() const
{
    std::lock_guard lock(m_mutex);
    return m_texts;
}

void AppContext::setTexts(QStringList texts)
{
    std::lock_guard lock(m_mutex);
    m_texts = std::move(texts);
}

QString AppContext::skinPath() const
{
    std::lock_guard lock(m_mutex);
    return m_skinPath;
}

void AppContext::setSkinPath(const QString& path)
{
    std::lock_guard lock(m_mutex);
    m_skinPath = path;
}

std::string AppContext::logFilePath() const
{
    std::lock_guard lock(m_mutex);
    return m_logFilePath;
}

std::string AppContext::logPrefix() const
{
    std::lock_guard lock(m_mutex);
    return m_logPrefix;
}

FontStyle AppContext::titleFont() const
{
    std::lock_guard lock(m_mutex);
    return m_titleFont;
}

FontStyle AppContext::buttonFont() const
{
    std::lock_guard lock(m_mutex);
    return m_buttonFont;
}

FontStyle AppContext::applicationFont() const
{
    std::lock_guard lock(m_mutex);
    return m_applicationFont;
}

void AppContext::setFonts(const FontStyle& title, const FontStyle& button, const FontStyle& application)
{
    std::lock_guard lock(m_mutex);
    m_titleFont = title;
    m_buttonFont = button;
    m_applicationFont = application;
}

} // namespace tovrin::shell

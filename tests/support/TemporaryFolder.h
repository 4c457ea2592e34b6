#pragma once
// Makes a fresh temporary folder the current one for its lifetime, so that
// files written by relative path (settings, logs, dumps) stay out of the
// tree and go with the test.

#include <QDir>
#include <QString>
#include <QTemporaryDir>

namespace tovrin::test {

class InTemporaryFolder {
public:
    InTemporaryFolder() : m_previous(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~InTemporaryFolder() { QDir::setCurrent(m_previous); }
    InTemporaryFolder(const InTemporaryFolder&) = delete;
    InTemporaryFolder& operator=(const InTemporaryFolder&) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

} // namespace tovrin::test

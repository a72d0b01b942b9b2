#pragma once

#include <QString>
#include <QTemporaryDir>

// A temporary directory for one test; fixtures are copied in before anything writes.
class TestDir {
public:
    TestDir();
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    // Copies tests/data/<name> into the directory and returns the copy's path.
    QString copyFixture(const QString& name, const QString& as = {}) const;

private:
    QTemporaryDir m_dir;
};

QString testDataPath(const QString& name);

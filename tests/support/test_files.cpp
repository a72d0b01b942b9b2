#include "test_files.h"

#include <QFile>
#include <gtest/gtest.h>

TestDir::TestDir() {
    EXPECT_TRUE(m_dir.isValid());
}

QString testDataPath(const QString& name) {
    return QStringLiteral(TW_TEST_DATA_DIR) + '/' + name;
}

QString TestDir::copyFixture(const QString& name, const QString& as) const {
    const QString target = file(as.isEmpty() ? name.section('/', -1) : as);
    QFile::remove(target);
    EXPECT_TRUE(QFile::copy(testDataPath(name), target)) << name.toStdString();
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                      QFile::ReadOther);
    return target;
}

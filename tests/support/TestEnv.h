#pragma once
// A private program folder for one test: ExeDir, registry store and
// temporary folder point into it. Removed afterwards unless the test
// failed, then its path is printed.

#include <QString>
#include <QTemporaryDir>

namespace mv::test {

class TestEnv {
public:
    TestEnv();
    ~TestEnv();
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }
    // Source tree folder (fixtures live below tests/).
    static QString sourceDir();
    static QString binaryDir();
private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome, m_oldReg;
};

} // namespace mv::test

#include "support/TestEnv.h"

#include "core/ShopSettings.h"

#include <QDir>
#include <QTest>

namespace mv::test {

TestEnv::TestEnv()
{
    m_oldHome = qgetenv("MARKTVOLL_HOME");
    m_oldReg = qgetenv("MARKTVOLL_REGISTRY");
    qputenv("MARKTVOLL_HOME", QFile::encodeName(m_dir.path()));
    qputenv("MARKTVOLL_REGISTRY", QFile::encodeName(m_dir.filePath(QStringLiteral("registry.reg"))));
    Settings() = ShopSettings();
    InitPaths();
}

TestEnv::~TestEnv()
{
    if (QTest::currentTestFailed()) {
        m_dir.setAutoRemove(false);
        qWarning("test folder kept: %s", qPrintable(m_dir.path()));
    }
    if (m_oldHome.isNull()) qunsetenv("MARKTVOLL_HOME"); else qputenv("MARKTVOLL_HOME", m_oldHome);
    if (m_oldReg.isNull()) qunsetenv("MARKTVOLL_REGISTRY"); else qputenv("MARKTVOLL_REGISTRY", m_oldReg);
}

QString TestEnv::sourceDir() { return QStringLiteral(MV_SOURCE_DIR); }
QString TestEnv::binaryDir() { return QStringLiteral(MV_BINARY_DIR); }

} // namespace mv::test

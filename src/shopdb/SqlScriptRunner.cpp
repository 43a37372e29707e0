#include "shopdb/SqlScriptRunner.h"

#include <QFileInfo>

#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "shopdb/GatewayTransport.h"
#include "shopdb/MySqlConnection.h"
#include "shopdb/ShopConnection.h"

#include <QFile>

namespace mv {

static bool blankLine(const QString &l)
{
    for (QChar c : l)
        if (c.unicode() > 32)
            return false;
    return true;
}

static QString trimControls(const QString &s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s.at(b).unicode() <= 32)
        ++b;
    while (e > b && s.at(e - 1).unicode() <= 32)
        --e;
    return s.mid(b, e - b);
}

QStringList SqlScriptRunner::LoadLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return SplitPageLines(FromAnsi(f.readAll()));
}

QStringList SqlScriptRunner::Statements(const QStringList &input)
{
    QStringList lines = input;
    lines.append(QStringLiteral("#")); // the last statement is always closed
    QStringList out;
    QString collector;
    for (const QString &line : lines) {
        if (blankLine(line))
            continue;
        if (line.at(0) != QLatin1Char('#')) {
            collector += line;
            collector += QLatin1String("\r\n");
            continue;
        }
        QString stmt = collector;
        collector.clear();
        stmt.replace(QLatin1String("\r\n"), QLatin1String(" "));
        stmt = trimControls(stmt);
        if (!stmt.isEmpty())
            out.append(stmt);
    }
    return out;
}

SqlScriptRunner::Outcome SqlScriptRunner::Run(const QString &path, const std::function<bool(const QString &)> &exec)
{
    Outcome o;
    const QStringList stmts = Statements(LoadLines(path));
    const QString name = QFileInfo(path).fileName();
    for (const QString &s : stmts) {
        // Installing a schema takes a while through the gateway.
        Ui().Progress(o.executed, int(stmts.size()), name);
        Ui().ProcessEvents();
        bool ok = false;
        try {
            ok = exec(s);
        } catch (...) {
            ok = false;
        }
        ++o.executed;
        if (!ok)
            ++o.failed;
    }
    Ui().Progress(0, 0);
    return o;
}

SqlScriptRunner::Outcome SqlScriptRunner::Run(const QString &path, MySqlConnection &connection)
{
    return Run(path, [&connection](const QString &s) { return connection.Execute(s); });
}

SqlScriptRunner::Outcome SqlScriptRunner::RunThroughShop(const QString &path)
{
    return Run(path, [](const QString &s) { return Shop().ShopExecute(s) == 0; });
}

} // namespace mv

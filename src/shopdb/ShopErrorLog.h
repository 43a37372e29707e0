#pragma once
// The hidden error log of the main window: one line per refused statement.
// The transfer clears it at its start and shows it at its end.

#include <QObject>
#include <QStringList>

namespace mv {

class ShopErrorLog : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    const QStringList &Lines() const { return m_lines; }
    bool IsEmpty() const { return m_lines.isEmpty(); }
    QString Text() const { return m_lines.join(QLatin1Char('\n')); }
    void Append(const QString &line) { m_lines.append(line); emit lineAdded(line); }
    void Clear() { m_lines.clear(); emit cleared(); }
signals:
    void lineAdded(const QString &line);
    void cleared();
private:
    QStringList m_lines;
};

} // namespace mv

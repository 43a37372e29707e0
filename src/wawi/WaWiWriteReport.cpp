#include "wawi/WaWiWriteReport.h"

#include <QDir>

namespace mv {

namespace {
WaWiWriteRecorder *g_current = nullptr;
}

WaWiWriteRecorder::WaWiWriteRecorder() : m_outer(g_current) { g_current = this; }

WaWiWriteRecorder::~WaWiWriteRecorder()
{
    if (g_current == this) g_current = m_outer;
}

void WaWiWriteRecorder::AddChange(const WaWiFieldChange &c)
{
    if (g_current) g_current->m_report.changes.append(c);
}

void WaWiWriteRecorder::AddLockRefusal(const QString &message)
{
    if (g_current) g_current->m_report.lockRefusals.append(message);
}

void WaWiWriteRecorder::AddBackup(const QString &table, const QString &folder)
{
    if (g_current) g_current->m_report.backups.append({table, folder});
}

QStringList WaWiWriteReport::Lines() const
{
    QStringList out;
    for (const WaWiFieldChange &c : changes) {
        const QString what = c.kind == WaWiFieldChange::Truncated ? QStringLiteral("auf die Feldlänge gekürzt")
                                                                  : QStringLiteral("Zeichen ersetzt");
        out << QStringLiteral("WaWi %1, Satz %2, Feld %3 (%4): \"%5\" gespeichert als \"%6\"")
                   .arg(c.table, c.recordKey, c.field, what, c.oldValue, c.newValue);
    }
    for (const QString &m : lockRefusals) out << m;
    for (const auto &b : backups)
        out << QStringLiteral("Sicherung von %1 vor dem Schreiben: %2").arg(b.first, QDir::toNativeSeparators(b.second));
    return out;
}

} // namespace mv

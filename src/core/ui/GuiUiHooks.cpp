#include "core/ui/GuiUiHooks.h"

#include "core/ui/TFM_Frage.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

namespace mv {

QString MessageText(const QString &text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

void GuiUiHooks::ProcessEvents()
{
    QApplication::processEvents();
}

void GuiUiHooks::BusyCursor(bool on)
{
    if (on) {
        if (m_busy++ == 0)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (m_busy > 0) {
        if (--m_busy == 0)
            QApplication::restoreOverrideCursor();
    }
}

void GuiUiHooks::ShowMessage(const QString &text, Icon icon)
{
    QWidget *parent = QApplication::activeWindow();
    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral("VLB-Marktvoll DatenManager"));
    box.setText(MessageText(text));
    switch (icon) {
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
    case Icon::Error: box.setIcon(QMessageBox::Critical); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    }
    // A message inside a busy operation must not show the hourglass.
    const bool busy = m_busy > 0;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (busy)
        QApplication::restoreOverrideCursor();
}

bool GuiUiHooks::AskYesNo(const QString &text, const QString &caption)
{
    const bool busy = m_busy > 0;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int r = AskQuestion(0, MessageText(text).split(QLatin1Char('\n')),
                              {QStringLiteral("&Ja"), QStringLiteral("&Nein")}, caption);
    if (busy)
        QApplication::restoreOverrideCursor();
    return r == 1;
}

void GuiUiHooks::Progress(int position, int max, const QString &text)
{
    if (onProgress)
        onProgress(position, max, text);
}

void GuiUiHooks::StatusText(const QString &text)
{
    if (onStatus)
        onStatus(text);
}

void GuiUiHooks::LogLine(const QString &line)
{
    if (onLog)
        onLog(line);
}

} // namespace mv

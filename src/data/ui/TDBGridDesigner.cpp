#include "data/ui/TDBGridDesigner.h"

#include "data/ui/TDBBGrid.h"
#include "data/ui/TFM_TabellenDesigner.h"

#include <QFile>

namespace mv {

TDBGridDesigner::TDBGridDesigner(QObject *parent)
    : QObject(parent)
{
}

void TDBGridDesigner::SetCfg(const QString &path)
{
    if (path == m_cfg)
        return;
    m_cfg = path;
    if (m_grid && Autoload && !path.isEmpty())
        Load();
}

void TDBGridDesigner::ApplyColors(TDBBGrid *grid, const QStringList &colorList)
{
    if (!grid)
        return;
    const GridColors c = ParseColorList(colorList);
    grid->SetTwoColor(c.twoColor);
    if (c.color1)
        grid->SetColorL(*c.color1);
    if (c.color2)
        grid->SetColorH(*c.color2);
    if (c.color3)
        grid->SetFontColor(*c.color3);
}

void TDBGridDesigner::LoadFromFile(const QString &path)
{
    if (path.trimmed().isEmpty())
        return;
    if (m_grid && QFile::exists(path)) {
        QVector<GridColumnLayout> cols;
        if (ReadColumnFile(path, cols))
            m_grid->SetColumns(cols);
    }
    const QString colorPath = ColorFilePath(path);
    if (!(QFile::exists(colorPath) && ReadColorFile(colorPath, ColorList)))
        ColorList = m_grid ? DefaultColorList(true, m_grid->Color(), m_grid->FontColor())
                           : DefaultColorList(false, 0, 0);
    ApplyColors(m_grid, ColorList);
}

void TDBGridDesigner::SaveToFile(const QString &path)
{
    if (path.trimmed().isEmpty() || !m_grid)
        return;
    WriteColumnFile(path, m_grid->Columns());
    if (TwoColor)
        WriteColorFile(ColorFilePath(path), ColorList);
}

bool TDBGridDesigner::TabellenEditor()
{
    if (!m_grid)
        return false;
    TFM_TabellenDesigner dlg(m_grid, m_cfg, Autosave, TwoColor ? &ColorList : nullptr, m_grid->window());
    dlg.exec();
    return true;
}

} // namespace mv

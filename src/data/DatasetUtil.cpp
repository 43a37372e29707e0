#include "data/DatasetUtil.h"

#include "data/Dataset.h"

namespace mv {

void SetNumericFormat(Field *field, const QString &format)
{
    if (!field || !IsNumericType(field->DataType()))
        return;
    field->DisplayFormat = format;
    field->EditFormat = format;
}

namespace {
// Character by character, so "ß" stays one letter (as the WaWi compares).
QString upperKey(const QString &s)
{
    QString t = s.trimmed();
    for (QChar &c : t)
        c = c.toUpper();
    return t;
}
}

int IndexOfText(const QStringList &list, const QString &text)
{
    const QString key = upperKey(text);
    for (int i = 0; i < list.size(); ++i)
        if (upperKey(list.at(i)) == key)
            return i;
    return -1;
}

int SplitText(QStringList &parts, int maxIndex, const QString &text, const QString &delimiter)
{
    parts.clear();
    if (maxIndex < 0 || text.trimmed().isEmpty())
        return 0;
    QString rest = text;
    if (!delimiter.isEmpty()) {
        while (parts.size() < maxIndex) {
            const qsizetype p = rest.indexOf(delimiter);
            if (p < 0)
                break;
            parts << rest.left(p);
            rest = rest.mid(p + delimiter.size());
        }
    }
    parts << rest;
    return int(parts.size());
}

} // namespace mv

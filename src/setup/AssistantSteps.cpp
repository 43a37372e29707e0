#include "setup/AssistantSteps.h"

#include "core/ShopSettings.h"

namespace mv {

AssistantSteps &AssistantSteps::Instance()
{
    static AssistantSteps s;
    return s;
}

bool AssistantSteps::Locate(const QString &step, int &panel, int &item)
{
    static const char *const steps[2][5] = {{"ftp", "sql", "wawi", "ftpshop", "sqltabellen"},
                                            {"sonderdaten", "shopwawi", "shopcfg", nullptr, nullptr}};
    const QString key = step.toLower();
    for (int p = 0; p < 2; ++p)
        for (int i = 0; i < 5 && steps[p][i]; ++i)
            if (key == QLatin1String(steps[p][i])) {
                panel = p;
                item = i;
                return true;
            }
    return false;
}

void AssistantSteps::mark(const QString &step, bool done)
{
    int p = 0, i = 0;
    if (!Locate(step, p, i))
        return;
    ShopSettings &s = Settings();
    if (p < s.AssiSteps.size() && i < s.AssiSteps[p].size())
        s.AssiSteps[p][i] = done ? 1 : 0;
    emit stepMarked(step.toLower(), done);
}

void AssistantSteps::MarkStepDone(const QString &step) { mark(step, true); }
void AssistantSteps::MarkStepOpen(const QString &step) { mark(step, false); }

} // namespace mv

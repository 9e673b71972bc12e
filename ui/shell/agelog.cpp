#include "ui/shell/agelog.h"

#include <QMutex>
#include <QStringList>

u32 factoryage_log_diff3 = 0;
u32 factoryage_log_diff5 = 0;
u32 factoryage_log_diff10 = 0;
u32 factoryage_log_diff20 = 0;
u32 factoryage_log_diffmore = 0;
AgeProbe g_age_probe;
std::function<void()> g_agelog_page_update;

namespace {
// Register 43 of a line (its last field); -1 when the line has none.
int reg43_of(const QString& line)
{
    bool ok = false;
    const int v = line.section(' ', -1).toInt(&ok);
    return ok ? v : -1;
}

void count_rise(int rise)
{
    if (rise <= 0)
        return;
    if (rise <= 2)
        ++factoryage_log_diff3;
    else if (rise <= 4)
        ++factoryage_log_diff5;
    else if (rise <= 9)
        ++factoryage_log_diff10;
    else if (rise <= 19)
        ++factoryage_log_diff20;
    else
        ++factoryage_log_diffmore;
}
}  // namespace

void agelog_append(const QString& stamp, int r42, int r40, int r43)
{
    QMutexLocker lk(&factoryage_log_mutex());
    factoryage_log.push_back(QString("%1 %2 %3 %4").arg(stamp).arg(r42 & 0xFF).arg(r40 & 0xFF).arg(r43 & 0xFF));
    while (factoryage_log.size() > static_cast<size_t>(kAgeLogMax))
        factoryage_log.erase(factoryage_log.begin());
    factoryage_log_num = static_cast<int>(factoryage_log.size());
    if (factoryage_log.size() < 2)
        return;
    const int newest = reg43_of(factoryage_log[factoryage_log.size() - 1]);
    const int before = reg43_of(factoryage_log[factoryage_log.size() - 2]);
    if (newest < 0 || before < 0)
        return;
    count_rise(newest >= before ? newest - before : newest - before + 256);
}

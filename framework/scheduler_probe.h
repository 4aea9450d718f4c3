#pragma once

#include <QString>

#include <functional>

// Says why no print queue can be reached when the scheduler does not run: "" when it
// runs or nobody can tell. Asks lpstat -r, bounded in time, unless a test replaced it.
QString SchedulerDown();

using SchedulerProbe = std::function<QString()>;
void SetSchedulerProbe(SchedulerProbe probe);

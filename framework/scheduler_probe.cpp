#include "framework/scheduler_probe.h"

#include "textfile/error_text.h"

#include <QProcess>
#include <QProcessEnvironment>

namespace {

// lpstat talks to the local scheduler in milliseconds; this only bounds a sick one.
constexpr int kProbeMs = 5000;

SchedulerProbe& Probe()
{
    static SchedulerProbe probe;
    return probe;
}

}  // namespace

void SetSchedulerProbe(SchedulerProbe probe)
{
    Probe() = std::move(probe);
}

QString SchedulerDown()
{
    if (Probe())
        return Probe()();
    QProcess lpstat;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C");  // its answer is read, not only shown
    lpstat.setProcessEnvironment(env);
    lpstat.start("lpstat", {"-r"});
    if (!lpstat.waitForStarted(kProbeMs) || !lpstat.waitForFinished(kProbeMs)) {
        lpstat.kill();
        lpstat.waitForFinished(1000);
        return {};
    }
    const QString answer = QString::fromLocal8Bit(lpstat.readAllStandardOutput()).trimmed();
    return answer.contains("not running") ? QString::fromStdString(SpoolerErrorText(answer.toStdString())) : QString();
}


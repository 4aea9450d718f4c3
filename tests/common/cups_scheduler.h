#pragma once

// A CUPS scheduler of a test's own: a private cupsd on a socket in the test's folder,
// with one PostScript queue whose backend writes every job into that folder, never to a
// user's printer. CUPS_SERVER names it while it runs, for Qt and lp alike.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTest>

class CCupsScheduler {
public:
    static constexpr const char* kQueue = "vantrel-test";

    ~CCupsScheduler()
    {
        Stop();
        if (!m_socket.isEmpty())
            qunsetenv("CUPS_SERVER");
    }

    // The scheduler ends; CUPS_SERVER still names it, so none is running from now on.
    void Stop()
    {
        if (m_cupsd.state() != QProcess::NotRunning) {
            m_cupsd.terminate();
            if (!m_cupsd.waitForFinished(5000))
                m_cupsd.kill();
            m_cupsd.waitForFinished(2000);
        }
    }

    // Empty when the scheduler runs with the queue under root; otherwise why it cannot.
    QString Start(const QString& root)
    {
        const char* const ppd = "/usr/share/ppd/cups-pdf/CUPS-PDF_noopt.ppd";
        const QString cupsd = QStandardPaths::findExecutable("cupsd", {"/usr/sbin", "/sbin"});
        if (!QFile::exists(ppd) || cupsd.isEmpty())
            return "no cupsd or no PostScript printer description";
        for (const char* sub : {"etc", "spool", "cache", "state", "tmp", "log", "bin/backend", "out"})
            QDir(root).mkpath(sub);
        // The system's filters and helpers, and the capture backend as the only backend.
        for (const char* sub : {"filter", "daemon", "cgi-bin", "monitor", "notifier", "driver"})
            QFile::link(QString("/usr/lib/cups/") + sub, root + "/bin/" + sub);
        m_out = root + "/out";
        const QString backend = root + "/bin/backend/vantrel-capture";
        Write(backend, "#!/bin/sh\n"
                       "[ $# -eq 0 ] && { echo 'file vantrel-capture \"Unknown\" \"Vantrel test capture\"'; exit 0; }\n"
                       "out='" +
                           m_out +
                           "'/job-$1\n"
                           "if [ $# -ge 6 ]; then cat \"$6\" > \"$out.part\"; else cat > \"$out.part\"; fi || exit 1\n"
                           "mv \"$out.part\" \"$out.ps\"\n");
        // Only its owner runs it: as root, the scheduler then runs it as root too.
        QFile::setPermissions(backend, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // Filters run as the scheduler's own user: they must reach the folder and its tmp.
        const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                          QFile::ReadOther | QFile::ExeOther;
        QFile::setPermissions(root, open);
        QFile::setPermissions(root + "/tmp", open | QFile::WriteGroup | QFile::WriteOther);
        const QString socket = root + "/cups.sock";
        Write(root + "/etc/cupsd.conf", "Listen " + socket +
                                            "\nLogLevel warn\nWebInterface No\nBrowsing No\n"
                                            "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n");
        Write(root + "/etc/cups-files.conf", "ServerRoot " + root + "/etc\nRequestRoot " + root + "/spool\nCacheDir " +
                                                 root + "/cache\nStateDir " + root + "/state\nTempDir " + root +
                                                 "/tmp\nAccessLog " + root + "/log/access_log\nErrorLog " + root +
                                                 "/log/error_log\nPageLog " + root + "/log/page_log\nServerBin " +
                                                 root + "/bin\nDataDir /usr/share/cups\n");
        m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
        m_cupsd.start(cupsd, {"-f", "-c", root + "/etc/cupsd.conf", "-s", root + "/etc/cups-files.conf"});
        if (!m_cupsd.waitForStarted(5000))
            return "cupsd does not start: " + m_cupsd.errorString();
        QElapsedTimer timer;
        timer.start();
        while (!QFile::exists(socket) && timer.elapsed() < 10000 && m_cupsd.state() == QProcess::Running)
            QTest::qWait(50);
        if (!QFile::exists(socket))
            return "cupsd made no socket: " + QString::fromLocal8Bit(m_cupsd.readAll());
        m_socket = socket;
        qputenv("CUPS_SERVER", m_socket.toLocal8Bit());
        QProcess lpadmin;
        lpadmin.start("lpadmin", {"-p", kQueue, "-E", "-v", "vantrel-capture:/", "-P", ppd});
        if (!lpadmin.waitForFinished(30000) || lpadmin.exitCode() != 0)
            return "lpadmin cannot add the queue";
        // libcups keeps the first scheduler a process spoke to: a test run alone sees this one.
        if (QPrinterInfo::printerInfo(kQueue).isNull())
            return "Qt sees no queue: this process spoke to another scheduler first";
        return {};
    }

    // Where the backend puts each job, as job-N.ps.
    const QString& OutFolder() const { return m_out; }

private:
    static void Write(const QString& path, const QString& text)
    {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(text.toUtf8());
    }

    QProcess m_cupsd;
    QString m_socket;
    QString m_out;
};

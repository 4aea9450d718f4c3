#include "framework/qt_text.h"

#if defined(_WIN32)
#include "textfile/ansi_names.h"
#endif

QString ToQt(std::string_view text)
{
    // The system's code page on Windows, UTF-8 elsewhere.
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQt(const QString& text)
{
#if defined(_WIN32)
    return AnsiName(text.toStdWString());
#else
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
#endif
}

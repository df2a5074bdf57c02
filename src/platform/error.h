#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// The one error type of the program. A handler guard turns it into the toolkit-style error box.
class KioskError : public std::exception
{
public:
    explicit KioskError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8())
    {
    }

    // The error's own text, without the full stop that the error box adds.
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

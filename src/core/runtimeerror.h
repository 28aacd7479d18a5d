#pragma once

#include <QString>

#include <exception>

// A run-time error: a number and an Italian description. The code that meets the fault
// raises it and does nothing more; the window's handlers, its start-up and the
// application object hand it to the one reporter (Tavola::reportError), which shows it
// and ends the program. The steps done before it stay done.
class RuntimeError final : public std::exception
{
public:
    enum Number : int {
        InvalidArgument = 5,
        Overflow = 6,
        TypeMismatch = 13,
        FileNotFound = 53,
        DiskFull = 61,
        PermissionDenied = 70,
        PathFileAccess = 75,
        PathNotFound = 76,
        BadFileFormat = 321,
    };

    explicit RuntimeError(int number, QString detail = {});

    int number() const { return m_number; }
    // The program's exit status: the number where it fits in a status, else 1.
    int exitStatus() const { return m_number > 0 && m_number < 256 ? m_number : 1; }
    QString description() const;
    // The text the error's message box shows.
    QString message() const;
    const char *what() const noexcept override { return m_what.constData(); }

    static QString standardDescription(int number);

private:
    int m_number;
    QString m_detail;
    QByteArray m_what;
};

// 16-bit signed counts: a result outside -32768..32767 is an overflow.
qint16 checkedAdd16(qint16 a, qint16 b);

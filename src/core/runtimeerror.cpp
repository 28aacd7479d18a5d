#include "core/runtimeerror.h"

RuntimeError::RuntimeError(int number, QString detail)
    : m_number(number)
    , m_detail(std::move(detail))
    , m_what(message().toUtf8())
{
}

QString RuntimeError::standardDescription(int number)
{
    switch (number) {
    case InvalidArgument: return QStringLiteral("Chiamata di routine o argomento non valido");
    case Overflow: return QStringLiteral("Overflow");
    case TypeMismatch: return QStringLiteral("Tipo non corrispondente");
    case FileNotFound: return QStringLiteral("Impossibile trovare il file");
    case DiskFull: return QStringLiteral("Disco pieno");
    case PermissionDenied: return QStringLiteral("Autorizzazione negata");
    case PathFileAccess: return QStringLiteral("Errore di accesso al percorso/file");
    case PathNotFound: return QStringLiteral("Impossibile trovare il percorso");
    case BadFileFormat: return QStringLiteral("Formato di file non valido");
    }
    return QStringLiteral("Errore definito dall'applicazione o dall'oggetto");
}

QString RuntimeError::description() const
{
    const QString text = standardDescription(m_number);
    return m_detail.isEmpty() ? text : text + QStringLiteral(": ") + m_detail;
}

QString RuntimeError::message() const
{
    return QStringLiteral("Errore di run-time '%1':\n\n%2").arg(m_number).arg(description());
}

qint16 checkedAdd16(qint16 a, qint16 b)
{
    const int sum = int(a) + int(b);
    if (sum < -32768 || sum > 32767)
        throw RuntimeError(RuntimeError::Overflow);
    return qint16(sum);
}

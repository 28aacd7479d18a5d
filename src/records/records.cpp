#include "records/records.h"

#include "core/runtimeerror.h"
#include "core/tabellina.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The prepared copies that replace the record files when a save completes.
const QString pendingSuffix = QStringLiteral(".nuovo");

RuntimeError fileError(int err, const QString &path, bool reading)
{
    switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
        return RuntimeError(RuntimeError::PermissionDenied, path);
    case ENOSPC:
    case EDQUOT:
        return RuntimeError(RuntimeError::DiskFull, path);
    case ENOENT:
        return RuntimeError(reading ? RuntimeError::FileNotFound : RuntimeError::PathNotFound, path);
    case ENOTDIR:
        return RuntimeError(RuntimeError::PathNotFound, path);
    default:
        return RuntimeError(RuntimeError::PathFileAccess, path);
    }
}

// Writes the one line of a record file beside it, whole or not at all.
void prepare(const QString &path, const QString &text)
{
    QSaveFile file(path);
    errno = 0;
    // Unbuffered: a buffered QSaveFile loses a write error that happens when its
    // buffer is flushed at commit, and would then put an empty file in place.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw fileError(errno, path, false);
    const QByteArray line = text.toLocal8Bit() + "\r\n";
    errno = 0;
    if (file.write(line) != line.size() || !file.commit()) {
        const int err = errno ? errno : EIO;
        file.cancelWriting();
        throw fileError(err, path, false);
    }
}

void replace(const QString &from, const QString &to)
{
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        throw fileError(errno, to, false);
}

void syncFolder(const QString &dirwin)
{
    const int fd = ::open(QFile::encodeName(dirwin).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The name file is prepared last, so its prepared copy means both copies were whole:
// the save goes forward. A prepared score file alone means the save never got that far.
void finishPendingSave(const QString &dirwin, const RecordFiles &files)
{
    const QString punti = dirwin + files.punti;
    const QString nome = dirwin + files.nome;
    const bool puntiPending = QFileInfo::exists(punti + pendingSuffix);
    const bool nomePending = QFileInfo::exists(nome + pendingSuffix);
    if (nomePending) {
        if (puntiPending)
            replace(punti + pendingSuffix, punti);
        replace(nome + pendingSuffix, nome);
        syncFolder(dirwin);
    } else if (puntiPending) {
        QFile::remove(punti + pendingSuffix);
    }
    // Where the file system has no unnamed temporary files, a save killed while writing
    // a copy leaves the copy's named temporary file behind. Told by their beginning:
    // name filters would compile a pattern matcher at every start for these two names.
    const QString puntiCopy = files.punti.mid(1) + pendingSuffix + u'.';
    const QString nomeCopy = files.nome.mid(1) + pendingSuffix + u'.';
    const QStringList names = QDir(dirwin).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        if (name.startsWith(puntiCopy, Qt::CaseInsensitive) || name.startsWith(nomeCopy, Qt::CaseInsensitive))
            QFile::remove(dirwin + u'/' + name);
    }
}

void createIfMissing(const QString &path)
{
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::Append))
        throw fileError(errno, path, false);
}

} // namespace

QString dataFolderPath()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dir.isEmpty())
        return dir;
    if (!dir.endsWith(u'/'))
        dir += u'/';
    return dir + QStringLiteral("quizzolo/");
}

QString GetSystemDir()
{
    const QString dir = dataFolderPath();
    if (dir.isEmpty())
        throw RuntimeError(RuntimeError::PathNotFound);
    errno = 0;
    if (!QDir().mkpath(dir)) {
        const int err = errno;
        throw fileError(err == EEXIST ? ENOTDIR : err, dir, false);
    }
    if (!QFileInfo(dir).isDir())
        throw RuntimeError(RuntimeError::PathNotFound, dir);
    return dir;
}

RecordFiles recordFilesFor(int tabellina)
{
    if (tabellina == 2)
        return {};
    const QString code = tabellinaCode(tabellina);
    return {QStringLiteral("/azorpeli%1.txt").arg(code), QStringLiteral("/nzorpeli%1.txt").arg(code)};
}

void createRecordFiles(const QString &dirwin, const RecordFiles &files)
{
    finishPendingSave(dirwin, files);
    createIfMissing(dirwin + files.punti);
    createIfMissing(dirwin + files.nome);
}

QString Leggifiletxt(const QString &nomefile)
{
    QFile file(nomefile);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly))
        throw fileError(errno, nomefile, true);
    if (QFileInfo(nomefile).isDir())
        throw RuntimeError(RuntimeError::PathFileAccess, nomefile);
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw RuntimeError(RuntimeError::PathFileAccess, nomefile);
    return QString::fromLocal8Bit(content);
}

void writeRecord(const QString &dirwin, const QString &punti, const QString &nome, const RecordFiles &files)
{
    const QString puntiPath = dirwin + files.punti;
    const QString nomePath = dirwin + files.nome;
    prepare(puntiPath + pendingSuffix, punti);
    try {
        prepare(nomePath + pendingSuffix, nome);
    } catch (...) {
        QFile::remove(puntiPath + pendingSuffix);
        throw;
    }
    finishPendingSave(dirwin, files);
}

namespace {

// Gathers the characters of a number from the start of a caption, skipping blanks.
std::string numberPrefix(QStringView text)
{
    std::string out;
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skipBlanks = [&] {
        while (i < n && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n'))
            ++i;
    };
    auto isDigit = [&] { return i < n && text[i] >= u'0' && text[i] <= u'9'; };
    auto digits = [&] {
        bool any = false;
        for (skipBlanks(); isDigit(); skipBlanks()) {
            out += char(text[i++].unicode());
            any = true;
        }
        return any;
    };

    skipBlanks();
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        out += char(text[i++].unicode());
        skipBlanks();
    }
    bool mantissa = digits();
    if (i < n && text[i] == u'.') {
        out += '.';
        ++i;
        mantissa = digits() || mantissa;
    }
    if (!mantissa)
        return {};
    if (i < n && (text[i] == u'e' || text[i] == u'E' || text[i] == u'd' || text[i] == u'D')) {
        const size_t kept = out.size();
        out += 'e';
        ++i;
        skipBlanks();
        if (i < n && (text[i] == u'+' || text[i] == u'-'))
            out += char(text[i++].unicode());
        if (!digits())
            out.resize(kept); // "12e" is just 12
    }
    return out;
}

// Decimal point and exponent in the C locale, whatever the user's locale says.
double parseC(const std::string &number)
{
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return strtod_l(number.c_str(), nullptr, c);
}

} // namespace

double readNumber(QStringView caption)
{
    const std::string number = numberPrefix(caption);
    return number.empty() ? 0.0 : parseC(number);
}

double toNumber(const QString &caption)
{
    // Only the blanks that readNumber skips may come first: any other white space
    // (CR, VT, FF) would pass the pattern but stop the reading, and turn a number
    // into 0. Any white space may follow, as the line ending of a stored line.
    static const QRegularExpression whole(
        QStringLiteral(R"(^[ \t\n]*[+-]?(\d+\.?\d*|\.\d+)([eEdD][+-]?\d+)?\s*$)"));
    if (!whole.match(caption).hasMatch())
        throw RuntimeError(RuntimeError::TypeMismatch, caption.left(40));
    return parseC(numberPrefix(caption));
}

#include "scelte/scelte.h"

#include "core/tabellina.h"
#include "storico/joins.h"
#include "storico/storico.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <QUrl>

#include <chrono>
#include <cstdio>
#include <future>
#include <thread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// How long a game or the notebook waits for a class folder that does not answer.
constexpr auto folderWait = std::chrono::seconds(3);
const QString classFile = u"scelta-classe.txt"_s;
constexpr qint64 largestFile = 64 * 1024;

void say(const QString &text)
{
    std::fprintf(stderr, "quizzolo: %s\n", qPrintable(text));
    std::fflush(stderr);
}

// Runs work on a thread of its own and waits for it a bounded time: a network folder that
// stopped answering may hold the thread, never the caller. nullopt when it took too long.
template<typename T, typename Work>
std::optional<T> withinTime(Work work)
{
    auto promise = std::make_shared<std::promise<T>>();
    std::future<T> result = promise->get_future();
    std::thread([promise, work]() mutable { promise->set_value(work()); }).detach();
    if (result.wait_for(folderWait) != std::future_status::ready)
        return std::nullopt;
    return result.get();
}

// --- the account's configuration -----------------------------------------------------

QSettings settings()
{
    return QSettings(u"quizzolo"_s, u"quizzolo"_s);
}

// A group of the settings for one child: its key percent-encoded, since a name may hold
// '/', '\' or spaces, which settings keys cannot.
QString childGroup(const QString &prefix, const QString &key)
{
    return prefix + u"bambini/"_s + QString::fromLatin1(QUrl::toPercentEncoding(key));
}

Scelta readGroup(QSettings &store, const QString &group, const QString &who)
{
    Scelta scelta;
    const QString code = store.value(group + u"/tabellina"_s).toString();
    if (const std::optional<int> tabellina = parseTabellina(code))
        scelta.tabellina = tabellina;
    else if (!code.isEmpty())
        say(u"la tabellina ricordata per %1 non è valida (\"%2\"): non se ne tiene conto"_s.arg(who, code));
    const QVariant ripasso = store.value(group + u"/ripasso"_s);
    if (ripasso.isValid())
        scelta.ripasso = ripasso.toBool();
    return scelta;
}

void writeGroup(QSettings &store, const QString &group, const Scelta &scelta)
{
    if (scelta.tabellina)
        store.setValue(group + u"/tabellina"_s, tabellinaCode(*scelta.tabellina));
    else
        store.remove(group + u"/tabellina"_s);
    if (scelta.ripasso)
        store.setValue(group + u"/ripasso"_s, *scelta.ripasso);
    else
        store.remove(group + u"/ripasso"_s);
}

// A choice that cannot be kept is said once on stderr; the game goes on with it.
void sync(QSettings &store)
{
    store.sync();
    static bool said = false;
    if (store.status() != QSettings::NoError && !said) {
        said = true;
        say(u"impossibile ricordare la scelta in %1: vale solo per questa partita"_s.arg(store.fileName()));
    }
}

// --- the class folder ------------------------------------------------------------------

struct FileRead
{
    bool reached = true;           // the folder answered (a missing file is no choice)
    std::optional<Scelta> scelta;  // nullopt: no file, or a damaged one
    QString nome;                  // the name in the file
    QString problem;               // why a file there was not taken
};

// "nome=...", "tabellina=7", "ripasso=1", a line each; anything else makes the file damaged.
std::optional<Scelta> parseFile(const QByteArray &bytes, QString &nome)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8(bytes);
    if (utf8.hasError())
        return std::nullopt;
    Scelta scelta;
    for (QStringView line : QStringView(text).split(u'\n', Qt::SkipEmptyParts)) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const qsizetype equals = line.indexOf(u'=');
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (equals < 0)
            return std::nullopt;
        const QStringView key = line.first(equals);
        const QStringView value = line.sliced(equals + 1);
        if (key == u"nome") {
            nome = value.toString();
        } else if (key == u"tabellina") {
            scelta.tabellina = parseTabellina(value);
            if (!scelta.tabellina)
                return std::nullopt;
        } else if (key == u"ripasso") {
            if (value != u"0" && value != u"1")
                return std::nullopt;
            scelta.ripasso = value == u"1";
        } else {
            return std::nullopt;
        }
    }
    return scelta;
}

QByteArray formatFile(const QString &nome, const Scelta &scelta)
{
    QByteArray bytes = "# Quizzolo: le scelte di un bambino, o della classe\n";
    if (!nome.isEmpty())
        bytes += "nome=" + QString(nome).remove(u'\n').remove(u'\r').toUtf8() + '\n';
    if (scelta.tabellina)
        bytes += "tabellina=" + tabellinaCode(*scelta.tabellina).toUtf8() + '\n';
    if (scelta.ripasso)
        bytes += QByteArray("ripasso=") + (*scelta.ripasso ? '1' : '0') + '\n';
    return bytes;
}

// Reads one choice file: never through a link, never a pipe or a device, never a large one.
FileRead readFile(const QString &path)
{
    FileRead read;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        read.reached = err == ENOENT && QFileInfo(QFileInfo(path).absolutePath()).isDir();
        if (err != ENOENT)
            read.problem = u"%1: %2"_s.arg(path, QString::fromLocal8Bit(std::strerror(err)));
        return read;
    }
    struct stat st {};
    QByteArray bytes;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= largestFile) {
        bytes.resize(st.st_size);
        qsizetype held = 0;
        for (ssize_t n = 1; n > 0 && held < bytes.size(); held += n > 0 ? n : 0)
            n = ::read(fd, bytes.data() + held, size_t(bytes.size() - held));
        bytes.resize(held);
    }
    ::close(fd);
    read.scelta = parseFile(bytes, read.nome);
    if (!read.scelta)
        read.problem = u"%1 non è un file di scelte valido: non se ne tiene conto"_s.arg(path);
    return read;
}

// Writes a choice file whole: a new file under a name nobody can guess, synced, renamed over
// the old one. rename() replaces whatever stands at the name, a link included, and never
// writes through it. Empty when written, else why not.
QString writeFile(const QString &folder, const QString &name, const QString &nome, const Scelta &scelta)
{
    QTemporaryFile file(folder + u"/scelta-XXXXXX.nuova"_s);
    const QByteArray bytes = formatFile(nome, scelta);
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush() || ::fsync(file.handle()) != 0
        || !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup
                                | QFile::ReadOther))
        return u"%1: %2"_s.arg(folder, file.errorString());
    file.close();
    if (::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(folder + u'/' + name).constData())
        != 0)
        return u"%1: %2"_s.arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
    file.setAutoRemove(false);
    return {};
}

QStringList childFiles(const QString &folder)
{
    QStringList names = QDir(folder).entryList({u"scelta-*.txt"_s}, QDir::Files);
    names.removeAll(classFile);
    return names;
}

// The child a name stands for, the joins of names applied.
QString keyOf(const QString &nome, const QString &joinsFile)
{
    const QString key = childKey(nome);
    return joinsFile.isEmpty() ? key : readJoins(joinsFile).joins.resolve(key);
}

} // namespace

QString sceltaFileName(const QString &key)
{
    QString readable;
    for (const QChar c : key) {
        if (readable.size() == 20)
            break;
        if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9'))
            readable += c;
    }
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return u"scelta-%1-%2.txt"_s.arg(readable, QString::fromLatin1(hash));
}

Scelte::Scelte(QString classFolder, QString joinsFile)
    : m_folder(std::move(classFolder))
    , m_joinsFile(std::move(joinsFile))
{
}

Scelte::Partita Scelte::perLaPartita(const QString &nome)
{
    QSettings store = settings();
    Scelta own;
    Scelta classe;
    if (m_folder.isEmpty()) {
        own = readGroup(store, childGroup({}, keyOf(nome, m_joinsFile)), nome);
        classe = readGroup(store, u"classe"_s, u"la classe"_s);
    } else {
        // Kept here by the name as typed: with the folder away, its joins are out of reach too.
        const QString cached = childGroup(u"copiaCartella/"_s, childKey(nome));
        own = readGroup(store, cached, nome);
        classe = readGroup(store, u"copiaCartella/classe"_s, u"la classe"_s);
        // A change made while the folder was away goes there first.
        const bool pending = store.value(cached + u"/inattesa"_s).toBool();
        const QString folder = m_folder;
        const QString joins = m_joinsFile;
        const std::optional<std::pair<FileRead, FileRead>> read =
            withinTime<std::pair<FileRead, FileRead>>([folder, joins, nome, own, pending] {
                const QString name = sceltaFileName(keyOf(nome, joins));
                if (pending)
                    writeFile(folder, name, nome, own);
                return std::pair{readFile(folder + u'/' + name), readFile(folder + u'/' + classFile)};
            });
        if (read && read->first.reached && read->second.reached) {
            for (const FileRead *file : {&read->first, &read->second})
                if (!file->problem.isEmpty())
                    say(file->problem);
            own = read->first.scelta.value_or(Scelta());
            classe = read->second.scelta.value_or(Scelta());
            writeGroup(store, cached, own);
            store.remove(cached + u"/inattesa"_s);
            writeGroup(store, u"copiaCartella/classe"_s, classe);
            sync(store);
        }
    }
    return {own.tabellina.value_or(classe.tabellina.value_or(2)), own.ripasso.value_or(classe.ripasso.value_or(false))};
}

void Scelte::cambia(const QString &nome, const Scelta &change)
{
    QSettings store = settings();
    const QString group = m_folder.isEmpty() ? childGroup({}, keyOf(nome, m_joinsFile))
                                             : childGroup(u"copiaCartella/"_s, childKey(nome));
    Scelta own = readGroup(store, group, nome);
    if (change.tabellina)
        own.tabellina = change.tabellina;
    if (change.ripasso)
        own.ripasso = change.ripasso;
    writeGroup(store, group, own);
    if (!m_folder.isEmpty()) {
        // Kept here until the folder has it: the next game started on this computer writes it.
        store.setValue(group + u"/inattesa"_s, true);
        sync(store);
        const QString folder = m_folder;
        const QString joins = m_joinsFile;
        const std::optional<QString> written = withinTime<QString>(
            [folder, joins, nome, own] { return writeFile(folder, sceltaFileName(keyOf(nome, joins)), nome, own); });
        if (written && written->isEmpty())
            store.remove(group + u"/inattesa"_s);
        else
            say(u"la cartella della classe non si raggiunge (%1): la scelta di %2 vi si scrive alla prossima "
                u"partita su questo computer"_s.arg(written ? *written : m_folder, nome));
    }
    sync(store);
}

Scelte::Tutte Scelte::tutte(const QStringList &keys)
{
    Tutte all;
    if (!m_folder.isEmpty()) {
        const QString folder = m_folder;
        const std::optional<std::pair<bool, Tutte>> read = withinTime<std::pair<bool, Tutte>>([folder, keys] {
            Tutte found;
            const FileRead classe = readFile(folder + u'/' + classFile);
            if (!classe.reached)
                return std::pair{false, found};
            found.classe = classe.scelta.value_or(Scelta());
            for (const QString &key : keys)
                if (const FileRead file = readFile(folder + u'/' + sceltaFileName(key)); file.scelta)
                    found.bambini.insert(key, *file.scelta);
            return std::pair{true, found};
        });
        if (read && read->first)
            return read->second;
        all.reached = false;
        return all;
    }
    QSettings store = settings();
    for (const QString &key : keys)
        if (const Scelta scelta = readGroup(store, childGroup({}, key), key); !scelta.isEmpty())
            all.bambini.insert(key, scelta);
    all.classe = readGroup(store, u"classe"_s, u"la classe"_s);
    return all;
}

bool Scelte::assegnaBambini(const QStringList &keys, const Scelta &scelta)
{
    return write(
        [&](QSettings &store) {
            for (const QString &key : keys)
                writeGroup(store, childGroup({}, key), scelta);
        },
        [keys, scelta](const QString &folder) {
            for (const QString &key : keys)
                if (const QString why = writeFile(folder, sceltaFileName(key), key, scelta); !why.isEmpty())
                    return why;
            return QString();
        });
}

bool Scelte::assegnaClasse(const Scelta &scelta)
{
    return write(
        [&](QSettings &store) {
            writeGroup(store, u"classe"_s, scelta);
            store.remove(u"bambini"_s);
        },
        [scelta](const QString &folder) {
            if (const QString why = writeFile(folder, classFile, {}, scelta); !why.isEmpty())
                return why;
            for (const QString &name : childFiles(folder))
                if (!QFile::remove(folder + u'/' + name) && QFileInfo::exists(folder + u'/' + name))
                    return u"%1: impossibile togliere la scelta di un bambino"_s.arg(folder + u'/' + name);
            return QString();
        });
}

// The notebook's writes: in the account's configuration, or in the folder, waited for a
// bounded time (inFolder runs on a thread of its own: it captures what it needs by value).
bool Scelte::write(const std::function<void(QSettings &)> &inSettings,
                   const std::function<QString(const QString &folder)> &inFolder)
{
    if (m_folder.isEmpty()) {
        QSettings store = settings();
        inSettings(store);
        store.sync();
        m_error = store.status() == QSettings::NoError ? QString() : u"impossibile scrivere %1"_s.arg(store.fileName());
    } else {
        const std::optional<QString> written = withinTime<QString>([folder = m_folder, inFolder] { return inFolder(folder); });
        m_error = written ? *written : u"%1: la cartella non risponde"_s.arg(m_folder);
    }
    return m_error.isEmpty();
}

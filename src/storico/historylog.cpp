#include "storico/historylog.h"

#include "storico/classcopy.h"
#include "storico/historyfile.h"

#include <QDir>
#include <QSettings>
#include <QSysInfo>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include <pwd.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// How soon a history that refused an answer is tried again without a new answer.
constexpr auto writeRetry = 10s;
// How soon a class folder out of reach is looked for again without a new answer.
constexpr auto copyRetry = 30s;
// How long leaving waits for a disk or a network that stopped answering.
constexpr auto lastWrite = 2s;
constexpr auto lastCopy = 1s;

void say(const QString &text)
{
    std::fprintf(stderr, "quizzolo: %s\n", qPrintable(text));
    std::fflush(stderr);
}

QString answers(qsizetype n)
{
    return n == 1 ? QStringLiteral("1 risposta") : QStringLiteral("%1 risposte").arg(n);
}

} // namespace

// Two threads share this state: the writer appends the waiting answers to the local history;
// the copier brings the class copy up to date after each append, and on its own every
// copyRetry while the folder is out of reach. The threads own a share of it: a thread stuck on
// a dead disk when the log is destroyed is left behind with what it needs.
class HistoryLog::Worker
{
public:
    struct State
    {
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<HistoryEntry> waiting;  // not yet in the local history, oldest first
        quint64 appended = 0;               // answers appended in all
        quint64 tried = 0;                  // `appended` when the writer last began an attempt
        bool writing = false;
        bool writeFailing = false;
        bool writerDone = false;
        bool copy = false;      // there is a class folder
        bool copyDue = true;    // answers were written since the copier last began (or it never did)
        bool copying = false;
        bool copyFailing = false;
        bool copierDone = false;
        bool stop = false;
    };

    Worker(const QString &path, const QString &classFolder)
        : state(std::make_shared<State>())
    {
        state->copy = !classFolder.isEmpty();
        writer = std::thread(write, state, path);
        if (state->copy)
            copier = std::thread(copy, state, path, QDir(classFolder).filePath(classHistoryFileName()));
        else
            state->copierDone = true;
    }

    static void write(std::shared_ptr<State> s, QString path);
    static void copy(std::shared_ptr<State> s, QString path, QString copyPath);

    std::shared_ptr<State> state;
    std::thread writer;
    std::thread copier;
};

void HistoryLog::Worker::write(std::shared_ptr<State> s, QString path)
{
    HistoryFile file(path, HistoryFile::Place::Own);
    std::unique_lock lock(s->mutex);
    for (;;) {
        const auto due = [&] { return s->stop || (!s->waiting.empty() && (!s->writeFailing || s->tried != s->appended)); };
        if (s->writeFailing)
            s->changed.wait_for(lock, writeRetry, due);
        else
            s->changed.wait(lock, due);
        if (s->waiting.empty())
            break;  // stopping, with nothing left
        std::deque<HistoryEntry> batch;
        batch.swap(s->waiting);
        s->tried = s->appended;
        s->writing = true;
        lock.unlock();

        // One write per line: a crash loses at most the line being written. The file is open
        // (and locked) only while lines are written: a file held open would stop its disk from
        // being taken away, and a history deleted between two answers is started again.
        qsizetype written = 0;
        for (const HistoryEntry &entry : batch) {
            if (!file.append(encodeHistoryLine(entry)))
                break;
            ++written;
        }
        const bool closed = file.close();
        const QString upgradeFailure = file.takeUpgradeFailure();
        if (!upgradeFailure.isEmpty())
            say(QStringLiteral("impossibile portare lo storico delle risposte al nuovo formato (%1): le risposte "
                               "si aggiungono come prima")
                    .arg(upgradeFailure));

        lock.lock();
        s->writing = false;
        // What the file did not take waits before what came meanwhile.
        s->waiting.insert(s->waiting.begin(), batch.begin() + written, batch.end());
        const bool failed = written < qsizetype(batch.size()) || !closed;
        if (failed && !s->writeFailing)
            say(QStringLiteral("impossibile scrivere lo storico delle risposte (%1: %2): le risposte aspettano e si "
                               "scrivono appena il file le accetta")
                    .arg(path, file.reason()));
        else if (!failed && s->writeFailing)
            say(QStringLiteral("lo storico delle risposte si scrive di nuovo (%1): le risposte che aspettavano "
                               "sono scritte")
                    .arg(path));
        s->writeFailing = failed;
        if (written > 0)
            s->copyDue = true;
        s->changed.notify_all();
        if (s->stop && s->writeFailing)
            break;  // the last attempt: what still waits is lost
    }
    if (!s->waiting.empty())
        say(QStringLiteral("%1 non scritte nello storico (%2: %3): il file non le accetta")
                .arg(answers(s->waiting.size()), path, file.reason()));
    s->writerDone = true;
    s->changed.notify_all();
}

void HistoryLog::Worker::copy(std::shared_ptr<State> s, QString path, QString copyPath)
{
    ClassCopy copy(path, copyPath);
    std::unique_lock lock(s->mutex);
    for (;;) {
        const auto due = [&] { return s->stop || s->copyDue; };
        if (s->copyFailing)
            s->changed.wait_for(lock, copyRetry, due);
        else
            s->changed.wait(lock, due);
        if (s->stop) {
            // The writer's last lines first; a folder already out of reach is left for the
            // next game, which catches up at its start.
            s->changed.wait(lock, [&] { return s->writerDone; });
            if (s->copyFailing)
                say(QStringLiteral("la copia dello storico nella cartella della classe resta indietro: si aggiorna "
                                   "alla prossima partita con la cartella raggiungibile"));
            if (!s->copyDue || s->copyFailing)
                break;
        }
        s->copyDue = false;
        s->copying = true;
        lock.unlock();
        const bool done = copy.catchUp();
        lock.lock();
        s->copying = false;
        if (!done && !s->copyFailing)
            say(QStringLiteral("la cartella della classe non si raggiunge o non accetta la copia dello storico "
                               "(%1): le risposte restano in %2 e la raggiungono appena si può")
                    .arg(copy.reason(), path));
        else if (done && s->copyFailing)
            say(QStringLiteral("la cartella della classe si raggiunge di nuovo: la copia dello storico è "
                               "aggiornata (%1)")
                    .arg(copyPath));
        s->copyFailing = !done;
        s->changed.notify_all();
        if (s->stop)
            break;
    }
    s->copierDone = true;
    s->changed.notify_all();
}

HistoryLog::HistoryLog(const QString &path, const QString &classFolder)
    : m_worker(std::make_unique<Worker>(path, classFolder))
{
}

HistoryLog::~HistoryLog()
{
    const auto &s = m_worker->state;
    std::unique_lock lock(s->mutex);
    s->stop = true;
    s->changed.notify_all();
    // The game must not hang on leaving because a disk or a network stopped answering.
    const bool written = s->changed.wait_for(lock, lastWrite, [&] { return s->writerDone; });
    const bool copied = written && s->changed.wait_for(lock, lastCopy, [&] { return s->copierDone; });
    lock.unlock();
    for (auto [thread, done] : {std::pair{&m_worker->writer, written}, std::pair{&m_worker->copier, copied}}) {
        if (!thread->joinable())
            continue;
        if (done)
            thread->join();
        else
            thread->detach();
    }
}

void HistoryLog::append(const HistoryEntry &entry)
{
    const auto &s = m_worker->state;
    {
        const std::lock_guard lock(s->mutex);
        s->waiting.push_back(entry);
        ++s->appended;
    }
    s->changed.notify_all();
}

bool HistoryLog::flush(int timeoutMs)
{
    const auto &s = m_worker->state;
    std::unique_lock lock(s->mutex);
    const auto settled = [&] {
        const bool written = !s->writing && (s->waiting.empty() || (s->writeFailing && s->tried == s->appended));
        return written && (!s->copy || (!s->copyDue && !s->copying));
    };
    const bool done = s->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), settled);
    return done && s->waiting.empty() && !(s->copy && s->copyFailing);
}

namespace {

// A computer's or a user's name as part of a file name on any file server: ASCII letters,
// digits, '.', '_' and '-' kept, anything else (a '/', a space, an accent) made '_'.
QString fileNamePart(const QString &text)
{
    QString part = text.left(64);
    for (QChar &c : part) {
        const char16_t u = c.unicode();
        if (!((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '.' || u == '_'
              || u == '-'))
            c = u'_';
    }
    return part;
}

} // namespace

QString classHistoryFileName(const QString &computer, const QString &user)
{
    return QStringLiteral("storico-%1-%2.csv").arg(fileNamePart(computer), fileNamePart(user));
}

QString classHistoryFileName()
{
    // getpwuid_r: the log's worker asks this, beside the game's thread.
    struct passwd entry {};
    struct passwd *account = nullptr;
    char buffer[4096];
    ::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &account);
    const QString user = account ? QString::fromLocal8Bit(account->pw_name) : qEnvironmentVariable("USER");
    return classHistoryFileName(QSysInfo::machineHostName(), user);
}

QString historyClassFolder()
{
    return QSettings(QStringLiteral("quizzolo"), QStringLiteral("quizzolo"))
        .value(QStringLiteral("storico/cartella"))
        .toString();
}

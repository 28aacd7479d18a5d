#include "speech/desktop/desktopagent.h"

#include "speech/characterfile.h"
#include "core/runtimeerror.h"
#include "speech/desktop/desktopcharacter.h"

#include <QCoreApplication>
#include <QDir>

DesktopAgent::DesktopAgent()
    : DesktopAgent(Options{})
{
}

DesktopAgent::DesktopAgent(Options options)
    : m_options(std::move(options))
{
    if (m_options.charactersFolder.isEmpty())
        m_options.charactersFolder = defaultCharactersFolder();
}

DesktopAgent::~DesktopAgent() = default;

QString DesktopAgent::defaultCharactersFolder()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/quizzolo/chars"));
}

void DesktopAgent::load(const QString &id, const QString &file)
{
    for (const auto &entry : m_characters) {
        if (entry.first.compare(id, Qt::CaseInsensitive) == 0)
            throw RuntimeError(RuntimeError::InvalidArgument, QStringLiteral("il personaggio \"%1\" è già caricato").arg(id));
    }
    const QString path = mapCharacterPath(file, m_options.charactersFolder);
    if (path.isEmpty())
        throw RuntimeError(RuntimeError::FileNotFound, file);
    const CharacterFile character = CharacterFile::read(path);
    auto desktop = std::make_unique<DesktopCharacter>(
        character, m_options.silent ? DesktopCharacter::Sound::Silent : DesktopCharacter::Sound::Automatic);
    desktop->setAnchor(m_anchor, keptInSight());
    m_characters.emplace_back(id, std::move(desktop));
}

void DesktopAgent::setAnchor(QWidget *clientArea, const QList<QWidget *> &keptInSight)
{
    m_anchor = clientArea;
    m_keptInSight.clear();
    for (QWidget *control : keptInSight)
        m_keptInSight.append(control);
    for (const auto &entry : m_characters)
        entry.second->setAnchor(clientArea, keptInSight);
}

QList<QWidget *> DesktopAgent::keptInSight() const
{
    QList<QWidget *> controls;
    for (const QPointer<QWidget> &control : m_keptInSight) {
        if (control)
            controls.append(control);
    }
    return controls;
}

DesktopCharacter &DesktopAgent::desktopCharacter(const QString &id)
{
    for (const auto &entry : m_characters) {
        if (entry.first.compare(id, Qt::CaseInsensitive) == 0)
            return *entry.second;
    }
    throw RuntimeError(RuntimeError::InvalidArgument, QStringLiteral("il personaggio \"%1\" non è caricato").arg(id));
}

AgentCharacter &DesktopAgent::character(const QString &id)
{
    return desktopCharacter(id);
}

std::unique_ptr<DesktopAgent> createDesktopAgent()
{
    return std::make_unique<DesktopAgent>();
}

#include "speech/characterwindow.h"

#include "core/runtimeerror.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QPainter>

#if __has_include(<xcb/xcb.h>) && defined(QUIZZOLO_HAVE_XCB)
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

namespace {

constexpr int MouthFlapMs = 95;

// A translucent window shows black where no compositor blends it: only then is it
// worth skipping the shaped window and its hard edge.
bool compositorRunning()
{
#if __has_include(<xcb/xcb.h>) && defined(QUIZZOLO_HAVE_XCB)
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return false;
    xcb_connection_t *connection = x11->connection();
    const QByteArray name = "_NET_WM_CM_S0";
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, name.size(), name.constData()), nullptr);
    if (!atom)
        return false;
    xcb_get_selection_owner_reply_t *owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
    const bool running = owner && owner->owner != XCB_NONE;
    free(owner);
    free(atom);
    return running;
#else
    return false;
#endif
}

} // namespace

CharacterWindow::CharacterWindow(const CharacterFile &character, QWidget *parent)
    : QWidget(parent,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus
                  | Qt::NoDropShadowWindowHint)
    , m_character(character)
{
    if (!m_renderer.load(character.artwork) || !m_renderer.isValid())
        throw RuntimeError(RuntimeError::BadFileFormat, character.name + QStringLiteral(": il disegno SVG non è valido"));
    for (const QString &id : character.elementIds()) {
        if (!m_renderer.elementExists(id)) {
            throw RuntimeError(RuntimeError::BadFileFormat,
                               QStringLiteral("%1: il disegno non ha l'elemento \"%2\"").arg(character.name, id));
        }
    }
    m_viewBox = m_renderer.viewBoxF();
    if (m_viewBox.isEmpty())
        throw RuntimeError(RuntimeError::BadFileFormat, character.name + QStringLiteral(": il disegno non ha dimensioni"));

    setObjectName(QStringLiteral("agentCharacter"));
    setWindowTitle(character.name);
    setAccessibleName(character.name);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFocusPolicy(Qt::NoFocus);
    m_shaped = !compositorRunning();
    if (!m_shaped) {
        setAttribute(Qt::WA_TranslucentBackground);
    } else {
        // Edge pixels blend with the background: make it the outline's colour.
        QPalette palette = this->palette();
        palette.setColor(QPalette::Window, QColor(0x2b, 0x1d, 0x3a));
        setPalette(palette);
        setAutoFillBackground(true);
    }

    m_frameTimer.setSingleShot(true);
    m_frameTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_frameTimer, &QTimer::timeout, this, [this] { showFrame(m_frameIndex + 1); });
    m_mouthTimer.setInterval(MouthFlapMs);
    connect(&m_mouthTimer, &QTimer::timeout, this, &CharacterWindow::flapMouth);

    m_pose = character.restPose;
    setCharacterHeight(qRound(m_viewBox.height()));
}

QSize CharacterWindow::sizeForHeight(int height) const
{
    return QSize(qMax(1, qRound(height * m_viewBox.width() / m_viewBox.height())), height);
}

void CharacterWindow::setCharacterHeight(int height)
{
    const QSize size = sizeForHeight(height);
    setFixedSize(size);
    renderFrame();
}

void CharacterWindow::play(const CharacterAnimation &animation)
{
    m_mouthTimer.stop();
    m_speaking = false;
    m_animation = animation;
    showFrame(0);
}

void CharacterWindow::showFrame(int index)
{
    if (index >= m_animation.frames.size()) {
        m_frameIndex = -1;
        applyPose(m_character.restPose, 0, 0);
        emit animationFinished();
        return;
    }
    m_frameIndex = index;
    const CharacterFrame &frame = m_animation.frames.at(index);
    QHash<QString, QString> pose = m_character.restPose;
    for (auto it = frame.pose.begin(); it != frame.pose.end(); ++it)
        pose.insert(it.key(), it.value());
    applyPose(pose, frame.lift, frame.tilt);
    m_frameTimer.start(frame.durationMs);
}

void CharacterWindow::startSpeaking()
{
    m_speaking = true;
    m_mouthIndex = -1;
    flapMouth();
    m_mouthTimer.start();
}

void CharacterWindow::wordSpoken()
{
    if (!m_speaking)
        return;
    // Each word opens the mouth afresh, so the flapping follows the voice.
    m_mouthIndex = -1;
    flapMouth();
    m_mouthTimer.start();
}

void CharacterWindow::stopSpeaking()
{
    m_speaking = false;
    m_mouthTimer.stop();
    QHash<QString, QString> pose = m_pose;
    pose.insert(m_character.mouthLayer, m_character.restPose.value(m_character.mouthLayer));
    applyPose(pose, m_lift, m_tilt);
}

void CharacterWindow::flapMouth()
{
    m_mouthIndex = (m_mouthIndex + 1) % m_character.mouthShapes.size();
    QHash<QString, QString> pose = m_pose;
    pose.insert(m_character.mouthLayer, m_character.mouthShapes.at(m_mouthIndex));
    applyPose(pose, m_lift, m_tilt);
}

void CharacterWindow::applyPose(const QHash<QString, QString> &pose, double lift, double tilt)
{
    if (pose == m_pose && lift == m_lift && tilt == m_tilt && !m_frame.isNull())
        return;
    m_pose = pose;
    m_lift = lift;
    m_tilt = tilt;
    renderFrame();
}

void CharacterWindow::renderFrame()
{
    // Drawn at the screen's own resolution, so a scaled desktop shows it sharp.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = size() * ratio;
    if (m_frame.size() != pixels)
        m_frame = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    m_frame.setDevicePixelRatio(ratio);
    m_frame.fill(Qt::transparent);
    QPainter painter(&m_frame);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const qreal width = size().width();
    const qreal height = size().height();
    // Lean around the feet, then rise.
    painter.translate(width / 2, height);
    painter.rotate(m_tilt);
    painter.translate(-width / 2, -height - m_lift * height);
    painter.scale(width / m_viewBox.width(), height / m_viewBox.height());
    painter.translate(-m_viewBox.topLeft());
    // The parts that change live in <defs>: the full render draws only the body.
    m_renderer.render(&painter, m_viewBox);
    for (const QString &layer : std::as_const(m_character.layers)) {
        const QString id = m_pose.value(layer);
        if (id.isEmpty())
            continue;
        painter.save();
        painter.setTransform(m_renderer.transformForElement(id), true);
        m_renderer.render(&painter, id, m_renderer.boundsOnElement(id));
        painter.restore();
    }
    painter.end();
    if (m_shaped) {
        // The mask is in the window's own pixels.
        QImage outline = ratio == 1 ? m_frame : m_frame.scaled(size());
        outline.setDevicePixelRatio(1);
        setMask(QBitmap::fromImage(outline.createAlphaMask(Qt::ThresholdAlphaDither)));
    }
    update();
}

void CharacterWindow::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    if (!m_shaped)
        painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, m_frame);
}

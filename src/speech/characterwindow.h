#pragma once

#include "agent/characterfile.h"

#include <QImage>
#include <QSvgRenderer>
#include <QTimer>
#include <QWidget>

// The character on the desktop: a frameless, always-on-top window of its own that never
// takes the keyboard focus, drawing the SVG artwork at the asked height in the pose of
// the moment. Without a compositor the window is shaped to the figure. It knows poses
// and time, not requests: the owner tells it what to play and when speech comes.
class CharacterWindow final : public QWidget
{
    Q_OBJECT

public:
    // Invalid artwork, or an element the character file names that the artwork lacks,
    // is error 321.
    explicit CharacterWindow(const CharacterFile &character, QWidget *parent = nullptr);

    void setCharacterHeight(int height);
    QSize sizeForHeight(int height) const;
    // Runs the frames, then returns to the resting pose and emits animationFinished().
    void play(const CharacterAnimation &animation);
    void startSpeaking();
    void wordSpoken();
    void stopSpeaking();

    bool isShaped() const { return m_shaped; }
    bool isAnimating() const { return m_frameTimer.isActive(); }
    // Draws the current pose into the window's picture (and its shape); public for the
    // benchmark.
    void renderFrame();

signals:
    void animationFinished();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void showFrame(int index);
    void applyPose(const QHash<QString, QString> &pose, double lift, double tilt);
    void flapMouth();

    CharacterFile m_character;
    QSvgRenderer m_renderer;
    QRectF m_viewBox;
    bool m_shaped = true;

    QHash<QString, QString> m_pose;
    double m_lift = 0;
    double m_tilt = 0;
    QImage m_frame;

    CharacterAnimation m_animation;
    int m_frameIndex = -1;
    QTimer m_frameTimer;

    bool m_speaking = false;
    int m_mouthIndex = 0;
    QTimer m_mouthTimer;
};

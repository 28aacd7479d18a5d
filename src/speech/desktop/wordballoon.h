#pragma once

#include <QList>
#include <QPointer>
#include <QTextDocument>
#include <QTimer>
#include <QWidget>

// The speech balloon beside the character: shows what is being said, marks the word
// being heard, and goes away a moment after the speech ends. Long texts show a few
// lines at a time, following the voice. It stands where it covers none of the visible
// controls it is to leave in sight, and moves as soon as one of them shows or changes.
class WordBalloon final : public QWidget
{
    Q_OBJECT

public:
    explicit WordBalloon(QWidget *parent = nullptr);

    // anchor: the character window's frame on the screen.
    void say(const QString &text, const QRect &anchor);
    void markWord(qsizetype position, qsizetype length);
    void finishSoon();
    void setKeptInSight(const QList<QWidget *> &controls);

    QString text() const { return m_text; }
    QString markedWord() const { return m_text.mid(m_markPosition, m_markLength); }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void relayout();
    void place();
    QRect body() const;
    QPainterPath outline() const;

    QString m_text;
    qsizetype m_markPosition = 0;
    qsizetype m_markLength = 0;
    QTextDocument m_document;
    QRect m_anchor;
    QList<QPointer<QWidget>> m_keptInSight;
    QSize m_bodySize;
    Qt::Edge m_tail = Qt::BottomEdge;
    int m_tailAt = 0;
    int m_firstLine = 0;
    int m_lineHeight = 0;
    QTimer m_hideTimer;
};

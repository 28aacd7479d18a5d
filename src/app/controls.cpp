// Builds Tavola's controls with their names, places, sizes, captions, fonts and colours.
// Places and sizes are written in twips, as the window was laid out; 15 twips make a
// pixel at 96 dpi. Controls created later lie in front of earlier ones, so shapes come
// first, then the image and the labels, then the text boxes and buttons.

#include "app/tavola.h"
#include "app/widgets.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSvgRenderer>
#include <QPainter>
#include <QTimer>

namespace {

QRect twips(int left, int top, int width, int height)
{
    auto px = [](int t) { return qRound(t / 15.0); };
    return QRect(px(left), px(top), px(width), px(height));
}

QFont makeFont(const QString &family, double points, bool bold = false, bool italic = false)
{
    QFont f(family);
    f.setPointSizeF(points);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

enum LabelFlag {
    Plain = 0,
    Framed = 1,
    Transparent = 2,
    Centred = 4,
    AutoSize = 8,
    Hidden = 16,
};

struct Colours
{
    QColor text;
    QColor back;
};

QLabel *label(QWidget *parent, const char *name, const QString &caption, const QRect &geometry,
              const QFont &f, const Colours &colours, int flags)
{
    QLabel *l = (flags & Framed) ? new FramedLabel(caption, parent) : new QLabel(caption, parent);
    l->setObjectName(QLatin1String(name));
    l->setTextFormat(Qt::PlainText);
    l->setGeometry(geometry);
    l->setFont(f);
    QPalette pal = l->palette();
    if (colours.text.isValid())
        pal.setColor(QPalette::WindowText, colours.text);
    if (colours.back.isValid() && !(flags & Transparent)) {
        pal.setColor(QPalette::Window, colours.back);
        l->setAutoFillBackground(true);
    }
    l->setPalette(pal);
    l->setAlignment(((flags & Centred) ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
    l->setProperty("autosize", bool(flags & AutoSize));
    // An autosize label always fits its caption, whatever the fonts at hand measure.
    if (flags & AutoSize)
        l->resize(l->size().expandedTo(l->sizeHint()));
    l->setVisible(!(flags & Hidden));
    return l;
}

QLineEdit *textBox(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *t = new QLineEdit(text, parent);
    t->setObjectName(QLatin1String(name));
    t->setGeometry(geometry);
    return t;
}

Shape *shape(QWidget *parent, const char *name, Shape::Kind kind, const QRect &geometry, QColor fill,
             const QString &accessibleName)
{
    auto *s = new Shape(kind, fill, QColor(0, 255, 255), parent);
    s->setObjectName(QLatin1String(name));
    s->setGeometry(geometry);
    s->setAccessibleName(accessibleName);
    return s;
}

QPixmap renderSvg(const QString &file, QSize size, qreal ratio)
{
    QSvgRenderer renderer(file);
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

QCursor svgCursor(const QString &file, QSize size, QPoint hotSpot, qreal ratio)
{
    return QCursor(renderSvg(file, size, ratio), hotSpot.x(), hotSpot.y());
}

} // namespace

void Tavola::buildControls()
{
    QWidget *w = m_surface;

    // Backgrounds: the score panel, the clock's two circles, the frame of the answer box.
    shape(w, "Shape4", Shape::Kind::Rectangle, twips(0, 0, 3375, 4455), QColor(0, 192, 192),
          QStringLiteral("Riquadro dei punteggi"));
    shape(w, "Shape2", Shape::Kind::Rectangle, twips(120, 120, 3135, 4215), QColor(0, 255, 255),
          QStringLiteral("Riquadro interno dei punteggi"));
    shape(w, "Shape5", Shape::Kind::Circle, twips(8400, 0, 3495, 2055), QColor(0, 192, 192),
          QStringLiteral("Cerchio dell'orologio"));
    shape(w, "Shape3", Shape::Kind::Circle, twips(8510, 50, 3300, 1965), QColor(0, 255, 255),
          QStringLiteral("Cerchio interno dell'orologio"));
    shape(w, "Shape1", Shape::Kind::Rectangle, twips(2880, 4920, 7335, 1335), QColor(0, 255, 255),
          QStringLiteral("Cornice della risposta"));

    auto *image1 = new QLabel(w);
    image1->setObjectName(QStringLiteral("Image1"));
    image1->setGeometry(twips(9885, 120, 480, 480));
    image1->setToolTip(QStringLiteral("Clicca sotto di me per impostare il Timer"));
    image1->setAccessibleName(QStringLiteral("Sveglia"));

    const QString tnr = QStringLiteral("Times New Roman");
    const QString sans = QStringLiteral("MS Sans Serif");
    const QString arial = QStringLiteral("Arial");

    // Player's name and the record (bottom left), later rows first.
    lblpunti = label(w, "lblpunti", QStringLiteral("0"), twips(7680, 7680, 195, 435), makeFont(sans, 18),
                     {QColor(192, 0, 192), {}}, Transparent | AutoSize);
    label(w, "Label13", QStringLiteral("con punti"), twips(6000, 7680, 1455, 435), makeFont(sans, 18),
          {QColor(192, 0, 192), {}}, Transparent | AutoSize);
    lblnome = label(w, "lblnome", QStringLiteral("nome"), twips(2400, 7680, 990, 435), makeFont(sans, 18, true),
                    {QColor(0, 0, 255), {}}, Transparent | AutoSize);
    label(w, "Label12", QStringLiteral("Il record  è di "), twips(120, 7680, 2295, 375), makeFont(sans, 18),
          {QColor(192, 0, 192), {}}, Transparent);
    lblnome1 = label(w, "lblnome1", QString(), twips(120, 7200, 645, 420), makeFont(sans, 13.5, true),
                     {QColor(255, 255, 0), {}}, Framed | Transparent | AutoSize);
    label(w, "Label14", QStringLiteral("Sfidante"), twips(120, 6360, 1425, 420), makeFont(sans, 13.5),
          {QColor(255, 255, 0), {}}, Framed | Transparent | Centred | AutoSize);

    // Countdown (top right).
    label(w, "Label11", QStringLiteral("Tempo restante"), twips(9270, 720, 1815, 615), makeFont(tnr, 14.25),
          {QColor(255, 255, 0), {}}, Transparent);
    lblconto = label(w, "lblconto", QStringLiteral("00.07.00"), twips(9360, 1200, 1575, 375),
                     makeFont(QStringLiteral("Arial Black"), 12, true), {QColor(255, 255, 0), QColor(128, 128, 255)},
                     Framed | Centred);

    // Score panel (left).
    lblScore2 = label(w, "lblScore2", QStringLiteral("0"), twips(1560, 3600, 315, 540), makeFont(tnr, 21.75, true),
                      {QColor(0, 0, 255), {}}, Framed | Transparent | Centred | AutoSize);
    label(w, "Label3", QStringLiteral("Risposte totali"), twips(360, 2880, 2505, 555), makeFont(tnr, 21.75),
          {QColor(0, 0, 255), {}}, Framed | Transparent | AutoSize);
    lblScore1 = label(w, "lblScore1", QStringLiteral("0"), twips(1560, 2160, 300, 540), makeFont(tnr, 21.75, true),
                      {QColor(255, 0, 0), {}}, Framed | Transparent | Centred | AutoSize);
    label(w, "Label1", QStringLiteral("Risposte errate"), twips(360, 1560, 2595, 555), makeFont(tnr, 21.75),
          {QColor(255, 0, 0), {}}, Framed | Transparent | AutoSize);
    lblScore = label(w, "lblScore", QStringLiteral("0"), twips(1440, 840, 315, 540), makeFont(tnr, 21.75, true),
                     {QColor(255, 255, 128), {}}, Framed | Transparent | Centred | AutoSize);
    lblScore->setToolTip(QStringLiteral("Questo è il tuo punteggio. Forza con il  record"));
    label(w, "Label6", QStringLiteral("Risposte esatte"), twips(360, 240, 2625, 555), makeFont(tnr, 21.75),
          {QColor(255, 255, 128), {}}, Framed | Transparent | Centred | AutoSize);

    // Verdict.
    lblMessage = label(w, "lblMessage", QStringLiteral("io"), twips(6360, 2040, 1305, 1275),
                       makeFont(sans, 24, true, true), {QColor(255, 0, 0), {}}, Transparent | Centred | AutoSize);

    // The problem (top row).
    lblNum2 = label(w, "lblNum2", QString(), twips(7560, 0, 345, 1185), makeFont(arial, 48, true),
                    {{}, QColor(0, 255, 255)}, Framed | Centred | AutoSize | Hidden);
    Label10 = label(w, "Label10", QStringLiteral("X"), twips(5640, 120, 615, 975), makeFont(arial, 48),
                    {{}, QColor(128, 255, 255)}, Centred | Hidden);
    lblNum1 = label(w, "lblNum1", QString(), twips(3840, 0, 345, 1185), makeFont(arial, 48, true),
                    {{}, QColor(0, 255, 255)}, Framed | Centred | AutoSize | Hidden);

    // Screen readers: labels that show values keep their text as their name.
    lblNum1->setAccessibleDescription(QStringLiteral("Primo fattore"));
    lblNum2->setAccessibleDescription(QStringLiteral("Secondo fattore"));
    lblMessage->setAccessibleDescription(QStringLiteral("Esito della risposta"));
    lblScore->setAccessibleDescription(QStringLiteral("Risposte esatte"));
    lblScore1->setAccessibleDescription(QStringLiteral("Risposte errate"));
    lblScore2->setAccessibleDescription(QStringLiteral("Risposte totali"));
    lblconto->setAccessibleDescription(QStringLiteral("Tempo restante"));
    lblnome1->setAccessibleDescription(QStringLiteral("Nome dello sfidante"));
    lblnome->setAccessibleDescription(QStringLiteral("Nome del campione"));
    lblpunti->setAccessibleDescription(QStringLiteral("Punti del record"));

    // The answer box.
    Text3 = textBox(w, "Text3", QStringLiteral("Text3"), twips(3120, 5040, 6855, 1125));
    Text3->setFont(makeFont(arial, 48));
    QPalette answer = Text3->palette();
    answer.setColor(QPalette::Base, QColor(255, 255, 128));
    answer.setColor(QPalette::Text, QColor(0, 0, 255));
    Text3->setPalette(answer);
    Text3->setAlignment(Qt::AlignCenter);
    Text3->setMaxLength(250);
    Text3->setToolTip(QStringLiteral("Scrivi il numero e poi premi  il tasto Return (Invio)"));
    Text3->setAccessibleName(QStringLiteral("Risposta"));
    Text3->setAccessibleDescription(QStringLiteral("Scrivi il risultato e premi Invio"));

    // Buttons.
    const QFont buttonFont = makeFont(sans, 8.25, true);
    cmdNext = new GraphicalButton(QStringLiteral("&Nuovo calcolo"), w);
    cmdNext->setObjectName(QStringLiteral("cmdNext"));
    cmdNext->setGeometry(twips(3120, 6360, 1815, 855));
    cmdNext->setFont(buttonFont);
    QPalette nextFace = cmdNext->palette();
    nextFace.setColor(QPalette::Button, QColor(255, 128, 255));
    cmdNext->setPalette(nextFace);
    cmdNext->setToolTip(QStringLiteral("Usa il tasto Return(invio) per l'esercizio successivo"));
    cmdNext->setEnabled(false);

    cmdExit1 = new GraphicalButton(QStringLiteral("E&xit"), w);
    cmdExit1->setObjectName(QStringLiteral("cmdExit1"));
    cmdExit1->setGeometry(twips(8160, 6360, 1815, 855));
    cmdExit1->setFont(buttonFont);
    QPalette exitFace = cmdExit1->palette();
    exitFace.setColor(QPalette::Button, QColor(0, 192, 192));
    cmdExit1->setPalette(exitFace);
    cmdExit1->setToolTip(QStringLiteral("Ti prego resta ancora, forse riuscirai a farmi uscire "));
    // Its caption is English: screen readers say it in Italian.
    cmdExit1->setAccessibleName(QStringLiteral("Esci"));
    cmdExit1->setAccessibleDescription(QStringLiteral("Finisce il gioco e registra il record"));

    // Hidden working boxes: the game's values between its steps.
    Text1 = textBox(w, "Text1", QStringLiteral("0"), twips(3600, 2040, 1935, 405));
    Text1->setFont(makeFont(sans, 12, true));
    QPalette first = Text1->palette();
    first.setColor(QPalette::Base, QColor(255, 128, 255));
    Text1->setPalette(first);
    Text1->setMaxLength(12);
    Text6 = textBox(w, "Text6", QStringLiteral("Text6"), twips(10320, 5760, 2415, 1095));
    Text7 = textBox(w, "Text7", QStringLiteral("Text7"), twips(4560, 3480, 1095, 1095));
    Txtnome1 = textBox(w, "Txtnome1", QStringLiteral("Text8"), twips(8280, 3720, 1335, 615));
    for (QLineEdit *hidden : {Text1, Text6, Text7, Txtnome1})
        hidden->hide();

    Command3 = new QPushButton(QStringLiteral("verifica"), w);
    Command3->setObjectName(QStringLiteral("Command3"));
    Command3->setGeometry(twips(4320, 1920, 975, 435));
    Command3->setCursor(Qt::ArrowCursor);
    Command3->hide();

    // The agent control's holder: never shown.
    auto *picture1 = new QFrame(w);
    picture1->setObjectName(QStringLiteral("Picture1"));
    picture1->setGeometry(twips(4080, 1680, 975, 1095));
    auto *agent1 = new QWidget(picture1);
    agent1->setObjectName(QStringLiteral("Agent1"));
    agent1->setGeometry(twips(2040, 1320, 480, 480));
    picture1->hide();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    Timer1->setTimerType(Qt::PreciseTimer);

    // Tab order by tab index: cmdExit1, Text1, Text3, cmdNext, then the hidden ones.
    setTabOrder(cmdExit1, Text1);
    setTabOrder(Text1, Text3);
    setTabOrder(Text3, cmdNext);
    setTabOrder(cmdNext, Command3);
    setTabOrder(Command3, Text6);
    setTabOrder(Text6, Text7);
    setTabOrder(Text7, Txtnome1);
    cmdExit1->setFocus();
}

// The images and mouse pointers, drawn from their SVG files. They come after the name
// dialog, so nothing slow stands between starting the program and its first question.
void Tavola::loadArtwork()
{
    const qreal ratio = devicePixelRatioF();
    findChild<QLabel *>(QStringLiteral("Image1"))
        ->setPixmap(renderSvg(QStringLiteral(":/art/sveglia.svg"), QSize(32, 32), ratio));

    const QCursor iconPointer =
        svgCursor(QStringLiteral(":/art/puntatore-icona.svg"), QSize(16, 16), QPoint(8, 8), ratio);
    lblMessage->setCursor(iconPointer);
    cmdNext->setCursor(iconPointer);
    cmdNext->setImages(QIcon(QStringLiteral(":/art/faccia-sorriso.svg")),
                       QIcon(QStringLiteral(":/art/faccia-seria.svg")),
                       QIcon(QStringLiteral(":/art/faccia-bocca-aperta.svg")));
    const QIcon exitSign = QIcon(QStringLiteral(":/art/uscita.svg"));
    cmdExit1->setImages(exitSign, exitSign, exitSign);

    setWindowIcon(QIcon(QStringLiteral(":/art/icona.svg")));
    setCursor(svgCursor(QStringLiteral(":/art/puntatore-mago.svg"), QSize(48, 48), QPoint(0, 0), ratio));
}

void Tavola::buildMenu()
{
    // The menu bar is the window's frame, not its client area: the usual arrow there.
    menuBar()->setCursor(Qt::ArrowCursor);
    // Credits only: no entry does anything.
    QMenu *credits = menuBar()->addMenu(QStringLiteral("Quizzolo: la tabellina del 2"));
    m_credits = credits;
    credits->addAction(QStringLiteral("Un gioco per imparare la tabellina del 2"));
    credits->addAction(QStringLiteral("Programma: la squadra di Quizzolo"));
    credits->addAction(QStringLiteral("Disegni del mago e delle icone: originali di Quizzolo"));
    QMenu *thanks = credits->addMenu(QStringLiteral("Grazie a"));
    thanks->addAction(QStringLiteral("espeak-ng, per la voce del mago"));
    thanks->addAction(QStringLiteral("Qt, per la finestra e i disegni"));
}

#include "scelte/scelte.h"
#include "records/records.h"
#include "storico/storico.h"
#include "support/tavolafixture.h"

#include <QInputDialog>
#include <QMenuBar>
#include <QMenu>
#include <QTimer>
#include <QtTest>

using namespace Qt::StringLiterals;

// The window's controls, start-up, leaving and the record files, through the real
// window with a recording character and scripted dialogs.
class TestTavola : public QObject
{
    Q_OBJECT

private slots:
    void initialValues_data();
    void initialValues();
    void initialTexts();
    void focusAndTabOrder();
    void creditsMenuDoesNothing();
    void autosizeKeepsTopLeft();
    void framedLabelsHaveADarkBorder_data();
    void framedLabelsHaveADarkBorder();
    void mousePointers_data();
    void mousePointers();
    void buttonFaces_data();
    void buttonFaces();

    void startupName_data();
    void startupName();
    void startupEffectsInOrder();
    void nameDialogComesBeforeTheWindow();
    void startupShowsStoredRecord_data();
    void startupShowsStoredRecord();
    void startupErrorsBeforeTheWindowShows_data();
    void startupErrorsBeforeTheWindowShows();

    void leaving_data();
    void leaving();
    void leavingWithScoreNotANumber();
    void leavingWhenTheSaveFails();
    void closeBoxLeavesTheRecordAlone();
    void commandLine_data();
    void commandLine();
    void targetedPractice();
    void accessKeys();
};

void TestTavola::initialValues_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("family");
    QTest::addColumn<double>("points");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<QColor>("textColour");

    auto row = [](const char *name, QRect g, const char *family, double pt, bool bold, bool visible,
                  QColor text = {}) {
        QTest::newRow(name) << QString::fromLatin1(name) << g << QString::fromLatin1(family) << pt << bold
                            << visible << text;
    };
    row("lblNum1", {256, 0, 23, 79}, "Arial", 48, true, false);
    row("Label10", {376, 8, 41, 65}, "Arial", 48, false, false);
    row("lblNum2", {504, 0, 23, 79}, "Arial", 48, true, false);
    row("Text3", {208, 336, 457, 75}, "Arial", 48, false, true, QColor(0, 0, 255));
    row("lblMessage", {424, 136, 87, 85}, "MS Sans Serif", 24, true, true, QColor(255, 0, 0));
    row("Label6", {24, 16, 175, 37}, "Times New Roman", 21.75, false, true, QColor(255, 255, 128));
    row("lblScore", {96, 56, 21, 36}, "Times New Roman", 21.75, true, true, QColor(255, 255, 128));
    row("Label1", {24, 104, 173, 37}, "Times New Roman", 21.75, false, true, QColor(255, 0, 0));
    row("lblScore1", {104, 144, 20, 36}, "Times New Roman", 21.75, true, true, QColor(255, 0, 0));
    row("Label3", {24, 192, 167, 37}, "Times New Roman", 21.75, false, true, QColor(0, 0, 255));
    row("lblScore2", {104, 240, 21, 36}, "Times New Roman", 21.75, true, true, QColor(0, 0, 255));
    row("lblconto", {624, 80, 105, 25}, "Arial Black", 12, true, true, QColor(255, 255, 0));
    row("Label11", {618, 48, 121, 41}, "Times New Roman", 14.25, false, true, QColor(255, 255, 0));
    row("cmdNext", {208, 424, 121, 57}, "MS Sans Serif", 8.25, true, true);
    row("cmdExit1", {544, 424, 121, 57}, "MS Sans Serif", 8.25, true, true);
    row("Label14", {8, 424, 95, 28}, "MS Sans Serif", 13.5, false, true, QColor(255, 255, 0));
    row("lblnome1", {8, 480, 43, 28}, "MS Sans Serif", 13.5, true, true, QColor(255, 255, 0));
    row("Label12", {8, 512, 153, 25}, "MS Sans Serif", 18, false, true, QColor(192, 0, 192));
    row("lblnome", {160, 512, 66, 29}, "MS Sans Serif", 18, true, true, QColor(0, 0, 255));
    row("Label13", {400, 512, 97, 29}, "MS Sans Serif", 18, false, true, QColor(192, 0, 192));
    row("lblpunti", {512, 512, 13, 29}, "MS Sans Serif", 18, false, true, QColor(192, 0, 192));
    row("Text1", {240, 136, 129, 27}, "MS Sans Serif", 12, true, false);
    row("Shape1", {192, 328, 489, 89}, "", 0, false, true);
    row("Shape2", {8, 8, 209, 281}, "", 0, false, true);
    row("Shape4", {0, 0, 225, 297}, "", 0, false, true);
    row("Shape3", {567, 3, 220, 131}, "", 0, false, true);
    row("Shape5", {560, 0, 233, 137}, "", 0, false, true);
    row("Image1", {659, 8, 32, 32}, "", 0, false, true);
    row("Text6", {688, 384, 161, 73}, "", 0, false, false);
    row("Text7", {304, 232, 73, 73}, "", 0, false, false);
    row("Txtnome1", {552, 248, 89, 41}, "", 0, false, false);
    row("Command3", {288, 128, 65, 29}, "", 0, false, false);
    row("Picture1", {272, 112, 65, 73}, "", 0, false, false);
}

void TestTavola::initialValues()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, family);
    QFETCH(double, points);
    QFETCH(bool, bold);
    QFETCH(bool, visible);
    QFETCH(QColor, textColour);

    TavolaFixture f;
    QWidget *w = f.get(name.toLatin1().constData());
    if (w->property("autosize").toBool()) {
        // Autosize labels keep their place and grow to fit their caption.
        QCOMPARE(w->pos(), geometry.topLeft());
        QVERIFY(w->width() >= geometry.width() && w->height() >= geometry.height());
        QVERIFY(w->width() >= w->sizeHint().width());
    } else {
        QCOMPARE(w->geometry(), geometry);
    }
    QCOMPARE(w->isVisibleTo(f.window.get()), visible);
    if (!family.isEmpty()) {
        QCOMPARE(w->font().family(), family);
        QCOMPARE(w->font().pointSizeF(), points);
        QCOMPARE(w->font().bold(), bold);
    }
    if (textColour.isValid()) {
        const auto role = qobject_cast<QLineEdit *>(w) ? QPalette::Text : QPalette::WindowText;
        QCOMPARE(w->palette().color(role), textColour);
    }
}

void TestTavola::initialTexts()
{
    TavolaFixture f;
    const QString title = f.window->windowTitle();
    QVERIFY(title.startsWith(QString(83, u' ') + u"QUIZZOLO"_s + QString(31, u' ')));
    QVERIFY(title.endsWith(Tavola::contactAddress + QString(4, u' ')));
    QCOMPARE(f.window->centralWidget()->size(), QSize(785, 556));

    QCOMPARE(f.text("Text3"), u"Text3"_s);
    QCOMPARE(f.get<QLineEdit>("Text3")->maxLength(), 250);
    QCOMPARE(f.get<QLineEdit>("Text1")->maxLength(), 12);
    QCOMPARE(f.caption("lblMessage"), u"io"_s);
    QCOMPARE(f.get("lblMessage")->font().italic(), true);
    for (const char *counter : {"lblScore", "lblScore1", "lblScore2", "lblpunti"})
        QCOMPARE(f.caption(counter), u"0"_s);
    QCOMPARE(f.caption("lblnome"), u"nome"_s);
    QCOMPARE(f.caption("lblnome1"), u""_s);
    QCOMPARE(f.caption("lblconto"), u"00.07.00"_s);
    QCOMPARE(f.caption("Label12"), u"Il record  è di "_s);
    QCOMPARE(f.caption("Label10"), u"X"_s);
    QCOMPARE(f.text("Text1"), u"0"_s);
    QCOMPARE(f.text("Txtnome1"), u"Text8"_s);
    QCOMPARE(f.get<QPushButton>("cmdNext")->text(), u"&Nuovo calcolo"_s);
    QCOMPARE(f.get<QPushButton>("cmdExit1")->text(), u"E&xit"_s);
    QCOMPARE(f.get<QPushButton>("Command3")->text(), u"verifica"_s);
    QVERIFY(!f.get("cmdNext")->isEnabled());

    QCOMPARE(f.get("Text3")->toolTip(), u"Scrivi il numero e poi premi  il tasto Return (Invio)"_s);
    QCOMPARE(f.get("lblScore")->toolTip(), u"Questo è il tuo punteggio. Forza con il  record"_s);
    QCOMPARE(f.get("Image1")->toolTip(), u"Clicca sotto di me per impostare il Timer"_s);
    QCOMPARE(f.get("cmdNext")->toolTip(), u"Usa il tasto Return(invio) per l'esercizio successivo"_s);
    QCOMPARE(f.get("cmdExit1")->toolTip(), u"Ti prego resta ancora, forse riuscirai a farmi uscire "_s);

    auto *timer = f.window->findChild<QTimer *>(u"Timer1"_s);
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 1000);
    QVERIFY(!timer->isActive());
    QVERIFY(f.window->findChild<QWidget *>(u"Agent1"_s));
}

void TestTavola::focusAndTabOrder()
{
    TavolaFixture f;
    QCOMPARE(f.window->focusWidget(), f.get("cmdExit1"));
    QVERIFY(f.start());
    QWidget *text3 = f.get("Text3");
    QCOMPARE(QApplication::focusWidget(), text3);
    // cmdNext is disabled: Tab goes round between the answer box and Exit.
    QTest::keyClick(text3, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), f.get("cmdExit1"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), text3);
    f.answer(u"1"_s);
    QCOMPARE(QApplication::focusWidget(), f.get("cmdNext"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), f.get("cmdExit1"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), text3);
    QVERIFY(!f.get("Picture1")->isVisible());
    QVERIFY(!f.get("Command3")->isVisible());
}

void TestTavola::creditsMenuDoesNothing()
{
    TavolaFixture f;
    QList<QAction *> entries;
    std::function<void(QMenu *)> collect = [&](QMenu *menu) {
        entries << menu->menuAction();
        for (QAction *a : menu->actions())
            a->menu() ? collect(a->menu()) : void(entries << a);
    };
    for (QAction *top : f.window->menuBar()->actions())
        collect(top->menu());
    QCOMPARE(entries.size(), 7);
    const QString before = f.caption("lblScore") + f.caption("lblconto");
    for (QAction *a : entries) {
        QVERIFY(!a->text().isEmpty());
        QVERIFY(a->shortcut().isEmpty());
        QVERIFY(!a->isCheckable());
        a->trigger();
    }
    QCOMPARE(f.caption("lblScore") + f.caption("lblconto"), before);
    QCOMPARE(f.ended->count(), 0);
}

void TestTavola::autosizeKeepsTopLeft()
{
    TavolaFixture f;
    f.dialogs.answer = u"Anna\nMaria"_s;
    f.window->load();
    QLabel *name = f.get<QLabel>("lblnome1");
    QCOMPARE(name->pos(), QPoint(8, 480));
    QVERIFY(name->height() >= 2 * name->fontMetrics().height());
    f.dialogs.answer = QString();
}

void TestTavola::framedLabelsHaveADarkBorder_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : {"Label6", "lblScore", "lblScore1", "Label3", "lblScore2", "Label14", "lblnome1",
                             "lblconto", "lblNum1", "lblNum2"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestTavola::framedLabelsHaveADarkBorder()
{
    QFETCH(QString, name);
    TavolaFixture f;
    f.window->load();
    auto *label = f.get<QLabel>(name.toLatin1().constData());
    label->setText(label->text().isEmpty() ? u"8"_s : label->text());
    if (label->property("autosize").toBool()) {
        // The box hugs its caption: one pixel of frame around the line, no padding.
        label->adjustSize();
        QVERIFY2(label->height() <= label->fontMetrics().height() + 3, qPrintable(QString::number(label->height())));
    }
    const QImage shot = label->grab().toImage();
    const QColor frame = QGuiApplication::palette().color(QPalette::WindowText);
    QCOMPARE(frame, QColor(Qt::black));
    const int w = shot.width() - 1;
    const int h = shot.height() - 1;
    for (const QPoint edge : {QPoint(0, h / 2), QPoint(w, h / 2), QPoint(w / 2, 0), QPoint(w / 2, h), QPoint(0, 0),
                              QPoint(w, h)})
        QCOMPARE(shot.pixelColor(edge), frame);
    // The caption inside keeps its own colour.
    const QColor text = label->palette().color(QPalette::WindowText);
    bool textSeen = false;
    for (int y = 1; y < h && !textSeen; ++y) {
        for (int x = 1; x < w && !textSeen; ++x)
            textSeen = shot.pixelColor(x, y) == text;
    }
    QVERIFY2(textSeen, qPrintable(text.name()));
}

void TestTavola::mousePointers_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pointer");
    // Windowless controls with no pointer of their own show the window's.
    for (const char *name : {"Tavola", "client", "Label6", "lblScore", "lblScore1", "lblScore2", "lblNum1",
                             "Label10", "lblconto", "Label11", "lblnome1", "lblpunti", "Shape1", "Shape2", "Shape3",
                             "Shape4", "Shape5", "Image1"})
        QTest::newRow(name) << QString::fromLatin1(name) << u"wizard"_s;
    QTest::newRow("lblMessage") << u"lblMessage"_s << u"icon"_s;
    QTest::newRow("cmdNext") << u"cmdNext"_s << u"icon"_s;
    QTest::newRow("Text3") << u"Text3"_s << u"ibeam"_s;
    QTest::newRow("cmdExit1") << u"cmdExit1"_s << u"arrow"_s;
    QTest::newRow("menu bar") << u"menu bar"_s << u"arrow"_s;
}

void TestTavola::mousePointers()
{
    QFETCH(QString, name);
    QFETCH(QString, pointer);
    TavolaFixture f;
    f.window->load();
    QWidget *w = name == u"menu bar"_s ? f.window->menuBar()
               : name == u"Tavola"_s   ? f.window.get()
                                       : f.get(name.toLatin1().constData());
    const QCursor wizard = f.window->cursor();
    const QCursor icon = f.get("lblMessage")->cursor();
    QCOMPARE(wizard.shape(), Qt::BitmapCursor);
    QCOMPARE(wizard.pixmap().deviceIndependentSize(), QSizeF(48, 48));
    QCOMPARE(icon.shape(), Qt::BitmapCursor);
    QCOMPARE(icon.pixmap().deviceIndependentSize(), QSizeF(16, 16));

    const QCursor shown = w->cursor(); // its own, or the one it inherits
    if (pointer == u"wizard"_s || pointer == u"icon"_s) {
        QCOMPARE(shown.shape(), Qt::BitmapCursor);
        QCOMPARE(shown.pixmap().toImage(), (pointer == u"wizard"_s ? wizard : icon).pixmap().toImage());
    } else {
        QCOMPARE(shown.shape(), pointer == u"ibeam"_s ? Qt::IBeamCursor : Qt::ArrowCursor);
    }
}

void TestTavola::buttonFaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QColor>("face");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("pressed");
    const QColor teal(0, 192, 192);
    const QColor pink(255, 128, 255);
    QTest::newRow("Exit raised") << u"cmdExit1"_s << teal << true << false;
    QTest::newRow("Exit pressed") << u"cmdExit1"_s << teal << true << true;
    QTest::newRow("Nuovo calcolo disabled") << u"cmdNext"_s << pink << false << false;
    QTest::newRow("Nuovo calcolo raised") << u"cmdNext"_s << pink << true << false;
    QTest::newRow("Nuovo calcolo pressed") << u"cmdNext"_s << pink << true << true;
}

void TestTavola::buttonFaces()
{
    QFETCH(QString, name);
    QFETCH(QColor, face);
    QFETCH(bool, enabled);
    QFETCH(bool, pressed);
    TavolaFixture f;
    f.window->load();
    auto *button = f.get<QPushButton>(name.toLatin1().constData());
    button->setEnabled(enabled);
    button->setDown(pressed);
    const QImage shot = button->grab().toImage();
    const int w = shot.width() - 1;
    const int h = shot.height() - 1;
    // A flat face in its own colour, whatever the state: no gradient anywhere.
    for (const QPoint inside : {QPoint(8, 8), QPoint(w - 8, 8), QPoint(8, h - 8), QPoint(w - 8, h - 8), QPoint(8, h / 2)})
        QCOMPARE(shot.pixelColor(inside), face);
    // The classic edge: light above and left, two darker lines below and right; held
    // down, the other way round.
    const QPalette pal = QGuiApplication::palette();
    const QColor light(pal.color(QPalette::Active, QPalette::Light).rgb());
    const QColor dark(pal.color(QPalette::Active, QPalette::Dark).rgb());
    const QColor shadow(pal.color(QPalette::Active, QPalette::Shadow).rgb());
    const auto [outerTopLeft, innerTopLeft, innerBottomRight, outerBottomRight] =
        pressed ? std::tuple(shadow, dark, face, light) : std::tuple(light, face, dark, shadow);
    for (const auto &[edge, colour] : {std::pair(QPoint(w / 2, 0), outerTopLeft), {QPoint(0, h / 2), outerTopLeft},
                                       {QPoint(w / 2, 1), innerTopLeft}, {QPoint(1, h / 2), innerTopLeft},
                                       {QPoint(w / 2, h - 1), innerBottomRight}, {QPoint(w - 1, h / 2), innerBottomRight},
                                       {QPoint(w / 2, h), outerBottomRight}, {QPoint(w, h / 2), outerBottomRight}})
        QCOMPARE(shot.pixelColor(edge), colour);
    // Of Nuovo calcolo's faces, only the disabled one has the open red mouth.
    if (name == u"cmdNext"_s) {
        const QImage rgb = shot.convertToFormat(QImage::Format_RGB32);
        const auto *pixels = reinterpret_cast<const QRgb *>(rgb.constBits());
        const bool redMouth = std::count(pixels, pixels + rgb.sizeInBytes() / 4, qRgb(0xe0, 0x18, 0x18)) > 0;
        QCOMPARE(redMouth, !enabled);
    }
}

void TestTavola::startupName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("greeting");
    QTest::addColumn<QString>("name");
    QTest::newRow("typed name") << u"Mario"_s << u" Mario vediamo se sei un vero campione  "_s << u"Mario"_s;
    QTest::newRow("cancel gives two leading spaces and Amico")
        << u""_s << u"  vediamo se sei un vero campione  "_s << u"Amico"_s;
    QTest::newRow("spaces only are a name") << u"   "_s << u"     vediamo se sei un vero campione  "_s << u"   "_s;
    QTest::newRow("accents, symbols and markup as typed")
        << u"Zoë & <b>Ünal</b> 😀"_s << u" Zoë & <b>Ünal</b> 😀 vediamo se sei un vero campione  "_s
        << u"Zoë & <b>Ünal</b> 😀"_s;
    const QString longName(2000, u'a');
    QTest::newRow("very long name") << longName << (u" "_s + longName + u" vediamo se sei un vero campione  "_s)
                                    << longName;
}

void TestTavola::startupName()
{
    QFETCH(QString, typed);
    QFETCH(QString, greeting);
    QFETCH(QString, name);
    TavolaFixture f;
    f.dialogs.answer = typed;
    f.window->load();
    QCOMPARE(f.dialogs.prompts, QStringList{u"Come ti chiami?"_s});
    QCOMPARE(f.dialogs.messages, QStringList{greeting});
    QCOMPARE(f.caption("lblnome1"), name);
    QCOMPARE(f.text("Txtnome1"), name);

    // Leaving with a beaten record stores the name exactly as shown.
    f.get<QLabel>("lblScore")->setText(u"3"_s);
    QTest::mouseClick(f.get("cmdExit1"), Qt::LeftButton);
    QCOMPARE(f.readFile(u"nzorpeli.txt"_s), name.toUtf8() + "\r\n");
}

void TestTavola::startupEffectsInOrder()
{
    TavolaFixture f;
    f.window->load();
    QCOMPARE(f.readFile(u"azorpeli.txt"_s), QByteArray());
    QCOMPARE(f.readFile(u"nzorpeli.txt"_s), QByteArray());
    QVERIFY(!f.get<QLabel>("Image1")->pixmap().isNull());
    QVERIFY(!f.window->windowIcon().isNull());
    QCOMPARE(f.caption("lblpunti"), u""_s);
    QCOMPARE(f.caption("lblnome"), u""_s);
    QCOMPARE(f.window->dirwin(), f.dataDir());
    QCOMPARE(f.caption("lblconto"), u"00:00:00"_s);
    QVERIFY(f.window->findChild<QTimer *>(u"Timer1"_s)->isActive());
    QCOMPARE(f.window->countdown().minuti(), 7);
    QCOMPARE(f.window->countdown().totsecondi(), 420);
    for (const char *hidden : {"lblNum1", "lblNum2", "Label10"})
        QVERIFY(!f.get(hidden)->isVisibleTo(f.window.get()));
    const QStringList expected = {
        u"Load Merlin C:\\WINDOWS\\msagent\\chars\\Merlin.acs"_s,
        u"Show"_s,
        u"MoveTo 250 175"_s,
        u"Play Announce"_s,
        u"Height 205"_s,
        u"Speak Allora attenzione, iniziamo la nostra avventura con la tabellina del 2. Io detto e tu scrivi il "
        u"risultato nello spazio sotto di me. Mi raccomando inserisci il risultato e premi invio e poi aspetta "
        u"che io finisca di parlare e premi ancora invio per avere la domanda successiva"_s,
    };
    QCOMPARE(f.agent.log, expected);
}

void TestTavola::nameDialogComesBeforeTheWindow()
{
    // The program's own dialogs: the window's controls are made once the name dialog is
    // on screen, and the child's answer comes back as typed.
    QtDialogs dialogs;
    ScriptedRandom random;
    RecordingAgent agent;
    Tavola window(agent, dialogs, random, Tavola::Controls::Later);
    QVERIFY(!window.findChild<QLineEdit *>(u"Text3"_s));
    bool dialogShown = false;
    dialogs.whileAsking([&] {
        auto *asking = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        dialogShown = asking && asking->isVisible() && asking->labelText() == u"Come ti chiami?"_s;
        window.build();
        if (asking) {
            asking->setTextValue(u" Lu;ca "_s);
            asking->accept();
        }
    });
    QCOMPARE(dialogs.askText(u"Come ti chiami?"_s), u" Lu;ca "_s);
    QVERIFY(dialogShown);
    QVERIFY(window.findChild<QLineEdit *>(u"Text3"_s));
}

void TestTavola::startupShowsStoredRecord_data()
{
    QTest::addColumn<QByteArray>("punti");
    QTest::addColumn<QString>("shown");
    QTest::newRow("number with its line ending") << QByteArray("12\r\n") << u"12\r\n"_s;
    QTest::newRow("number followed by text") << QByteArray("12 punti\r\n") << u"12 punti\r\n"_s;
    QTest::newRow("huge number") << QByteArray(400, '9') << QString(400, u'9');
    QTest::newRow("negative") << QByteArray("-5\r\n") << u"-5\r\n"_s;
    QTest::newRow("binary bytes") << QByteArray("\x01\x02\x7f\x00z", 5) << u"\x01\x02\x7f\u0000z"_s;
    QTest::newRow("invalid UTF-8") << QByteArray("\xc3\x28") << u"\uFFFD("_s;
    QTest::newRow("megabytes are shown cut") << QByteArray(3 << 20, '7') << QString(4096, u'7');
}

void TestTavola::startupShowsStoredRecord()
{
    QFETCH(QByteArray, punti);
    QFETCH(QString, shown);
    TavolaFixture f;
    f.writeRecord(punti, "Anna\r\n");
    f.window->load();
    QCOMPARE(f.caption("lblpunti"), shown);
    QCOMPARE(f.caption("lblnome"), u"Anna\r\n"_s);
}

void TestTavola::startupErrorsBeforeTheWindowShows_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("number");
    QTest::newRow("record file is a folder") << u"folder"_s << int(RuntimeError::PathFileAccess);
    QTest::newRow("data folder cannot be created") << u"blocked"_s << int(RuntimeError::PathNotFound);
}

void TestTavola::startupErrorsBeforeTheWindowShows()
{
    QFETCH(QString, fault);
    QFETCH(int, number);
    TavolaFixture f;
    if (fault == u"folder"_s) {
        f.writeFile(u"azorpeli.txt"_s, "12\r\n");
        QVERIFY(QDir().mkpath(f.dataDir() + u"nzorpeli.txt"_s));
    } else {
        const QString file = f.tmp.path() + u"/file"_s;
        QFile blocker(file);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        qputenv("XDG_DATA_HOME", file.toLocal8Bit());
    }
    try {
        f.window->load();
        QFAIL("start-up went through");
    } catch (const RuntimeError &e) {
        QCOMPARE(e.number(), number);
    }
    QVERIFY(f.agent.log.isEmpty());
    QVERIFY(!f.window->isVisible());
    if (fault == u"folder"_s)
        QCOMPARE(f.readFile(u"azorpeli.txt"_s), QByteArray("12\r\n"));
}

void TestTavola::leaving_data()
{
    QTest::addColumn<QByteArray>("punti");
    QTest::addColumn<QString>("score");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("stored");
    QTest::newRow("first run, score 0: nothing") << QByteArray() << u"0"_s << u"Mario"_s << false;
    QTest::newRow("first run, score 1: stored") << QByteArray() << u"1"_s << u"Mario"_s << true;
    QTest::newRow("equal: nothing") << QByteArray("12\r\n") << u"12"_s << u"Mario"_s << false;
    QTest::newRow("lower: nothing") << QByteArray("12\r\n") << u"11"_s << u"Mario"_s << false;
    QTest::newRow("13 beats 12 with its line ending") << QByteArray("12\r\n") << u"13"_s << u"Mario"_s << true;
    QTest::newRow("no number counts as 0") << QByteArray("campione\r\n") << u"1"_s << u"Mario"_s << true;
    QTest::newRow("number then text counts as the number") << QByteArray("12abc") << u"12"_s << u"Mario"_s << false;
    QTest::newRow("cancelled name stored as Amico") << QByteArray("2\r\n") << u"3"_s << u""_s << true;
    QTest::newRow("huge record is never beaten") << QByteArray(400, '9') << u"30"_s << u"Mario"_s << false;
    QTest::newRow("negative record is beaten by 0") << QByteArray("-5\r\n") << u"0"_s << u"Mario"_s << true;
    QTest::newRow("megabytes of digits") << QByteArray(3 << 20, '1') << u"30"_s << u"Mario"_s << false;
}

void TestTavola::leaving()
{
    QFETCH(QByteArray, punti);
    QFETCH(QString, score);
    QFETCH(QString, typed);
    QFETCH(bool, stored);
    TavolaFixture f;
    f.dialogs.answer = typed;
    f.writeRecord(punti, "Anna\r\n");
    f.window->load();
    f.dialogs.messages.clear();
    f.get<QLabel>("lblScore")->setText(score);

    QTest::mouseClick(f.get("cmdExit1"), Qt::LeftButton);
    QStringList messages = {u"Ciao. Ti aspetto per la prossima sfida "_s};
    if (stored)
        messages << u"Ok ho registrato il tuo record, C A M P I O N E\""_s;
    QCOMPARE(f.dialogs.messages, messages);
    QCOMPARE(f.ended->count(), 1);
    QCOMPARE(f.ended->at(0).at(0).toInt(), 0);
    const QByteArray name = typed.isEmpty() ? QByteArray("Amico") : typed.toUtf8();
    QCOMPARE(f.readFile(u"azorpeli.txt"_s), stored ? score.toUtf8() + "\r\n" : punti);
    QCOMPARE(f.readFile(u"nzorpeli.txt"_s), stored ? name + "\r\n" : QByteArray("Anna\r\n"));
}

void TestTavola::leavingWithScoreNotANumber()
{
    TavolaFixture f;
    f.writeRecord("2\r\n", "Anna\r\n");
    f.window->load();
    f.get<QLabel>("lblScore")->setText(u"tre"_s);
    QTest::mouseClick(f.get("cmdExit1"), Qt::LeftButton);
    QCOMPARE(f.dialogs.messages.size(), 3);
    QCOMPARE(f.dialogs.messages.last(), u"Errore di run-time '13':\n\nTipo non corrispondente: tre"_s);
    QCOMPARE(f.ended->count(), 1);
    QCOMPARE(f.ended->at(0).at(0).toInt(), 13);
    QCOMPARE(f.readFile(u"azorpeli.txt"_s), QByteArray("2\r\n"));
}

void TestTavola::leavingWhenTheSaveFails()
{
    TavolaFixture f;
    f.writeRecord("2\r\n", "Anna\r\n");
    f.window->load();
    QVERIFY(QDir().mkpath(f.dataDir() + u"azorpeli.txt.nuovo"_s));
    f.get<QLabel>("lblScore")->setText(u"3"_s);
    QTest::mouseClick(f.get("cmdExit1"), Qt::LeftButton);
    QCOMPARE(f.dialogs.messages.at(1), u"Ciao. Ti aspetto per la prossima sfida "_s);
    QVERIFY(f.dialogs.messages.last().startsWith(u"Errore di run-time '75'"_s));
    QCOMPARE(f.ended->at(0).at(0).toInt(), int(RuntimeError::PathFileAccess));
    QCOMPARE(f.readFile(u"azorpeli.txt"_s), QByteArray("2\r\n"));
    QCOMPARE(f.readFile(u"nzorpeli.txt"_s), QByteArray("Anna\r\n"));
}

void TestTavola::closeBoxLeavesTheRecordAlone()
{
    TavolaFixture f;
    f.writeRecord("2\r\n", "Anna\r\n");
    QVERIFY(f.start());
    f.dialogs.messages.clear();
    f.get<QLabel>("lblScore")->setText(u"9"_s);
    QVERIFY(f.window->close());
    QCOMPARE(f.ended->count(), 1);
    QCOMPARE(f.ended->at(0).at(0).toInt(), 0);
    QVERIFY(f.dialogs.messages.isEmpty());
    QCOMPARE(f.readFile(u"azorpeli.txt"_s), QByteArray("2\r\n"));
    QVERIFY(!f.window->findChild<QTimer *>(u"Timer1"_s)->isActive());
}

void TestTavola::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");     // -1: the game starts
    QTest::addColumn<int>("tabellina");  // -1: none asked
    QTest::newRow("nothing") << QStringList() << -1 << -1;
    QTest::newRow("7") << QStringList{u"--tabellina"_s, u"7"_s} << -1 << 7;
    QTest::newRow("10") << QStringList{u"--tabellina=10"_s} << -1 << 10;
    QTest::newRow("Tutte") << QStringList{u"--tabellina"_s, u"Tutte"_s} << -1 << 0;
    QTest::newRow("help") << QStringList{u"--help"_s} << 0 << -1;
    for (const char *bad : {"1", "11", "07", "+7", "sette", ""})
        QTest::addRow("bad value '%s'", bad) << QStringList{u"--tabellina"_s, QString::fromLatin1(bad)} << 2 << -1;
    QTest::newRow("no value") << QStringList{u"--tabellina"_s} << 2 << -1;
    QTest::newRow("unknown option") << QStringList{u"--tabella=7"_s} << 2 << -1;
    QTest::newRow("stray argument") << QStringList{u"7"_s} << 2 << -1;
}

void TestTavola::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(int, tabellina);
    std::optional<int> asked;
    QCOMPARE(readCommandLine(QStringList{u"quizzolo"_s} + arguments, asked).value_or(-1), status);
    QCOMPARE(asked.value_or(-1), tabellina);
}

// "Ripasso mirato", remembered for the child: the history is read beside the game (with the
// names a teacher joined to the child's), and the draws then follow the child's facts;
// cleared, they are uniform again.
void TestTavola::targetedPractice()
{
    TavolaFixture f;
    QByteArray history = QByteArray(historyHeader) + "\r\n";
    const QDateTime then = QDateTime::currentDateTime().addDays(-1);
    for (int i = 0; i < 5; ++i)
        history += encodeHistoryLine({then, then, u"mrio"_s, 3, u"20"_s, false, 4000, 7, 4000})
                   + encodeHistoryLine({then, then, u"Mario"_s, 5, u"35"_s, true, 1500, 7, 1000});
    f.writeFile(QLatin1String(historyFileName), history);
    f.writeFile(QLatin1String(joinsFileName), "nome;unito_a\r\nMrio;mario\r\n");
    Scelte({}).cambia(u"Mario"_s, {std::nullopt, true});
    f.window->setTabellinaRichiesta(7);
    QVERIFY(f.start());
    QVERIFY(f.agent.log.value(5).contains(u"del 7. Oggi ti chiederò più spesso i calcoli che devi ripassare. Io"_s));
    QTRY_VERIFY(f.window->drill().practiceWeights());
    const auto &sette = f.window->drill().practiceWeights()->at(7 - 2);
    // Da ripassare 4, sicuro 1, nuovo 2.
    QCOMPARE((QList<int>{sette[3 - 1], sette[5 - 1], sette[4 - 1]}), (QList<int>{4, 1, 2}));

    f.window->findChild<QAction *>(u"ripassoMirato"_s)->trigger();
    QVERIFY(!f.window->drill().practiceWeights());
    QVERIFY(!Scelte({}).perLaPartita(u"Mario"_s).ripasso);
}

void TestTavola::accessKeys()
{
    TavolaFixture f;
    QCOMPARE(f.get<QPushButton>("cmdExit1")->shortcut(), QKeySequence(Qt::ALT | Qt::Key_X));
    QCOMPARE(f.get<QPushButton>("cmdNext")->shortcut(), QKeySequence(Qt::ALT | Qt::Key_N));
    QVERIFY(f.start());
    QWidget *box = f.get("Text3");
    const qsizetype requests = f.agent.log.size();
    // Alt+N while its button is disabled does nothing at all.
    QTest::keyClick(box, Qt::Key_N, Qt::AltModifier);
    QCOMPARE(f.text("Text3"), u""_s);
    QCOMPARE(f.agent.log.size(), requests);
    QVERIFY(!f.get("lblNum1")->isVisible());
    // Once enabled, it poses a new problem.
    f.answer(u"3"_s);
    f.random.queue(1, 4);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_N, Qt::AltModifier);
    QTRY_COMPARE(f.text("Text7"), u"8"_s); // an access key clicks its button a moment later
    QCOMPARE(QApplication::focusWidget(), box);
    // Alt+X leaves, from the answer box too.
    f.dialogs.messages.clear();
    QTest::keyClick(box, Qt::Key_X, Qt::AltModifier);
    QTRY_COMPARE(f.dialogs.messages.value(0), u"Ciao. Ti aspetto per la prossima sfida "_s);
    QCOMPARE(f.ended->count(), 1);
}

QTEST_MAIN(TestTavola)
#include "tst_tavola.moc"

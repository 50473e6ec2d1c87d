#include "EditorRig.h"

#include "FileDialogParts.h"
#include "PluggedSimulator.h"
#include "SessionRig.h"
#include "SimTestMain.h"
#include "TestFiles.h"

#include "link/CTaviCalc.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>

#include <memory>

using calcsim::PluggedSimulator;

namespace {

constexpr char titlePrefix[] = "TaviBasic Editor: ";
constexpr char emptyName[] = "Empty file name";
constexpr char badName[] = "Error: file name must contain only numbers and latin letters";
constexpr char sentStatus[] = "File successfully sent to the device";
constexpr char savedStatus[] = "File successfully saved";
constexpr char notSavedStatus[] = "Error: the file could not be saved";
constexpr char notConnected[] = "Calculator is not connected";
constexpr char noCalculator[] = "No calculator is connected";
constexpr char errorStart[] = "Error: ";
// Pasted text brings characters that the calculator's character set lacks.
const QString pasted = QStringLiteral("Disp(\"5\u20AC \u2014 ok\u20AC\")");
const QString pastedRefused =
    QStringLiteral("Error: the calculator has no character for: \u20AC (U+20AC), \u2014 (U+2014)");
// The calculator's answer to the announcement of a file that the computer sends.
constexpr int announcementAnswer = 2;
// The first read's second file record, after the device information and the file count.
constexpr int secondRecord = 4;
// Rows of the catalogue and of the file table are searched for in steps finer than a row.
constexpr int rowStep = 4;

// The calculator holds a program under an upper-case name, and one to edit.
const QByteArray existingName("ABC.TCB");
const QByteArray programName("PROG.tcb");
const QByteArray programBytes("Disp \"HI\"\n\x98" "1\xA8" "A\xA0" "B\n");

// One letter per coloured character: the depth colours in their cycle, and the error colour.
QChar colourCode(const QColor& colour)
{
    static const QHash<QString, QChar> codes{
        {"#015cc5", 'B'}, {"#8e44ad", 'P'}, {"#27ae60", 'G'}, {"#8b0000", 'R'}};
    return codes.value(colour.name(), '?');
}

// The characters that carry a format in the document, and the code of each one's colour.
QPair<QString, QString> colouring(QTextDocument* document)
{
    QString characters;
    QString colours;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (const QTextLayout::FormatRange& range : block.layout()->formats()) {
            characters += block.text().mid(range.start, range.length);
            colours += QString(range.length, colourCode(range.format.foreground().color()));
        }
    }
    return {characters, colours};
}

QString bracketsOf(const QString& text)
{
    QString brackets;
    for (QChar c : text) {
        if (QStringLiteral("(){}[]").contains(c))
            brackets += c;
    }
    return brackets;
}

// The characters of the document's lines, one line feed between two lines.
QString documentText(QTextDocument* document)
{
    QStringList lines;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        lines << block.text();
    return lines.join('\n');
}

// Every character from 0x01 to 0xFF but the carriage return, which loading takes for a line break.
QString latin1Range()
{
    QString text;
    for (int code = 0x01; code <= 0xFF; ++code) {
        if (code != '\r')
            text += QChar(code);
    }
    return text;
}

// A point in the view's row for which the view's lookup function gives the wanted value, or
// (-1, -1) when no row shown gives it.
QPoint rowPoint(QQuickItem* view, const char* lookup, const QVariant& wanted)
{
    const qreal x = view->width() / 2;
    for (int y = 0; y < view->height(); y += rowStep) {
        QVariant found;
        QMetaObject::invokeMethod(view, lookup, Q_RETURN_ARG(QVariant, found), Q_ARG(QVariant, x),
                                  Q_ARG(QVariant, y));
        if (found == wanted)
            return view->mapToScene(QPointF(x, y)).toPoint();
    }
    return QPoint(-1, -1);
}

} // namespace

// The editor window of the real main window document, on a simulated calculator.
class TestEditorWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void bracketColours_data();
    void bracketColours();
    void catalogueDescription_data();
    void catalogueDescription();
    void catalogueInsertion_data();
    void catalogueInsertion();
    void codeFont();
    void cursorStaysInView_data();
    void cursorStaysInView();
    void closing_data();
    void closing();
    void undoStartsAtTheLoadedText_data();
    void undoStartsAtTheLoadedText();
    void sendDialog_data();
    void sendDialog();
    void sendCollision_data();
    void sendCollision();
    void saveDialog_data();
    void saveDialog();
    void roundTrip();
    void failedSend_data();
    void failedSend();

private:
    QObject* textArea() const { return rig->item("textArea"); }
    bool isOpen(const char* name) const
    {
        const QObject* found = rig->object(name);
        return found && found->property("visible").toBool();
    }
    void answer(const char* dialog, bool yes) const;
    void activateEditor() const;
    void type(const QString& keys) const;
    void select(int start, int end) const;
    QModelIndex catalogueIndex(const QList<int>& path) const;
    QPoint entryPoint(const QModelIndex& entry) const;
    void activateEntry(const QModelIndex& entry) const;
    void openSendDialog();

    std::unique_ptr<PluggedSimulator> calc;
    std::unique_ptr<EditorRig> rig;
};

void TestEditorWindow::answer(const char* dialog, bool yes) const
{
    QMetaObject::invokeMethod(rig->object(dialog), yes ? "accept" : "reject");
}

void TestEditorWindow::activateEditor() const
{
    rig->editor()->requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(rig->editor()));
}

// Key presses into the editor's focused item, one per character.
void TestEditorWindow::type(const QString& keys) const
{
    for (QChar key : keys)
        QTest::keyClick(rig->editor(), key.toLatin1());
}

void TestEditorWindow::select(int start, int end) const
{
    QMetaObject::invokeMethod(textArea(), "select", Q_ARG(int, start), Q_ARG(int, end));
}

QModelIndex TestEditorWindow::catalogueIndex(const QList<int>& path) const
{
    QModelIndex index;
    for (int row : path)
        index = rig->funcModel.index(row, 0, index);
    return index;
}

// The centre of the entry's row in the catalogue tree, shown with only its own groups
// expanded, so that it lies within the tree's height.
QPoint TestEditorWindow::entryPoint(const QModelIndex& entry) const
{
    QQuickItem* tree = rig->item("funcTree");
    for (int row = 0; row < rig->funcModel.rowCount(); ++row)
        rig->call(tree, "collapse", {QVariant::fromValue(rig->funcModel.index(row, 0))});
    for (QModelIndex group = entry.parent(); group.isValid(); group = group.parent())
        rig->call(tree, "expand", {QVariant::fromValue(group)});
    return rowPoint(tree, "indexAt", QVariant::fromValue(entry));
}

void TestEditorWindow::activateEntry(const QModelIndex& entry) const
{
    const QPoint at = entryPoint(entry);
    QVERIFY(at.y() >= 0);
    QTest::mouseDClick(rig->editor(), Qt::LeftButton, Qt::NoModifier, at);
}

void TestEditorWindow::openSendDialog()
{
    activateEditor();
    rig->click("saveCalcButton");
    QTRY_VERIFY(isOpen("tcbSendDialog"));
    QTRY_VERIFY(rig->item("tcbSendDialogFileName")->hasActiveFocus());
}

void TestEditorWindow::initTestCase()
{
    calc = std::make_unique<PluggedSimulator>();
    QVERIFY(!calc->portName().isEmpty());
    calc->simulator().addFile(existingName, "Disp 1\n");
    calc->simulator().addFile(programName, programBytes);
    rig = std::make_unique<EditorRig>();
    QVERIFY(rig->editor());
    QVERIFY(!rig->property("visible").toBool());
    QTRY_COMPARE_WITH_TIMEOUT(rig->fileModel.rowCount(), 2, 5000);
}

void TestEditorWindow::cleanup()
{
    for (const char* dialog : {"tcbSendDialog", "doYouWantSendFile", "quitDialog"})
        QMetaObject::invokeMethod(rig->object(dialog), "close");
    rig->discard();
    QTRY_VERIFY(!rig->property("visible").toBool());
}

void TestEditorWindow::bracketColours_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("colours");

    QTest::newRow("square pair closed before the curly pair") << "a(b[c]{d}e)" << "BPPPPB";
    QTest::newRow("closer takes its own kind past another") << "([)]" << "BPBP";
    QTest::newRow("four openers, three closers") << "(((()))" << "BPGBBGP";
    QTest::newRow("closer without opener") << "a)b(" << "RB";
    QTest::newRow("pair split across two lines") << "x(\n)y" << "BR";
    QTest::newRow("no brackets") << "Disp A+B" << "";
}

void TestEditorWindow::bracketColours()
{
    QFETCH(QString, text);
    QFETCH(QString, colours);

    rig->open("B.tcb", text);
    const auto coloured = colouring(rig->document());
    QCOMPARE(coloured.first, bracketsOf(text));
    QCOMPARE(coloured.second, colours);
}

void TestEditorWindow::catalogueDescription_data()
{
    QTest::addColumn<QList<int>>("entry");
    QTest::addColumn<QString>("status");

    QTest::newRow("entry") << QList<int>{2, 1, 0} << "abs(value): absolute value";
    QTest::newRow("group") << QList<int>{2, 1} << "Numeric";
    QTest::newRow("category") << QList<int>{1} << "Angle";
    QTest::newRow("entry without description") << QList<int>{10, 1} << "LEFT";
}

void TestEditorWindow::catalogueDescription()
{
    QFETCH(QList<int>, entry);
    QFETCH(QString, status);

    rig->open("D.tcb", "");
    const QPoint at = entryPoint(catalogueIndex(entry));
    QVERIFY(at.y() >= 0);
    QTest::mouseClick(rig->editor(), Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(rig->status(), status);
}

void TestEditorWindow::catalogueInsertion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("selectionStart");
    QTest::addColumn<int>("selectionEnd");
    QTest::addColumn<QList<int>>("entry");
    QTest::addColumn<QString>("result");

    const QList<int> negation{0, 0};
    QTest::newRow("selection replaced") << "A+B-C" << 2 << 3 << negation << QString("A+\u0098-C");
    QTest::newRow("inserted at the cursor") << "AB" << 1 << 1 << negation << QString("A\u0098B");
    QTest::newRow("entry of Math > Numeric") << "" << 0 << 0 << QList<int>{2, 1, 1} << "round(";
    QTest::newRow("category inserts nothing") << "AB" << 0 << 2 << QList<int>{0} << "AB";
    QTest::newRow("group inserts nothing") << "AB" << 1 << 1 << QList<int>{2, 1} << "AB";
}

void TestEditorWindow::catalogueInsertion()
{
    QFETCH(QString, text);
    QFETCH(int, selectionStart);
    QFETCH(int, selectionEnd);
    QFETCH(QList<int>, entry);
    QFETCH(QString, result);

    rig->open("C.tcb", text);
    activateEditor();
    select(selectionStart, selectionEnd);
    activateEntry(catalogueIndex(entry));
    QCOMPARE(rig->text(), result);
}

void TestEditorWindow::codeFont()
{
    QVERIFY(!rig->codeFontFamily.isEmpty());
    const QFont font = textArea()->property("font").value<QFont>();
    QCOMPARE(font.family(), rig->codeFontFamily);
    QCOMPARE(font.pixelSize(), 14);
}

void TestEditorWindow::cursorStaysInView_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("positions");

    QStringList lines;
    for (int i = 0; i < 300; ++i)
        lines << QString("Disp %1").arg(i);
    const QString tall = lines.join('\n');
    const QString wide = QString("1+").repeated(400);
    QTest::newRow("end of a long program") << tall << QList<int>{tall.size()};
    QTest::newRow("back at the start") << tall << QList<int>{tall.size(), 0};
    QTest::newRow("end of a long line") << wide << QList<int>{wide.size()};
    QTest::newRow("start of a long line") << wide << QList<int>{wide.size(), 0};
}

void TestEditorWindow::cursorStaysInView()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, positions);

    rig->open("V.tcb", text);
    QQuickItem* flickable = rig->item("textAreaFlickable");
    QVERIFY(flickable);
    for (int position : positions) {
        textArea()->setProperty("cursorPosition", position);
        const QRectF cursor = textArea()->property("cursorRectangle").toRectF();
        const QRectF view(flickable->property("contentX").toReal(), flickable->property("contentY").toReal(),
                          flickable->width(), flickable->height());
        QVERIFY2(view.contains(cursor), qPrintable(QString("cursor at %1").arg(position)));
    }
}

void TestEditorWindow::closing_data()
{
    QTest::addColumn<QString>("loaded");
    QTest::addColumn<QString>("edited");
    QTest::addColumn<QByteArray>("dialog"); // open when the window is closed
    QTest::addColumn<bool>("asks");
    QTest::addColumn<bool>("quit");

    const QString unedited;
    const QByteArray none;
    QTest::newRow("empty text") << "" << unedited << none << false << false;
    QTest::newRow("loaded, unchanged") << "Disp 1" << unedited << none << false << false;
    QTest::newRow("changed, quit confirmed") << "Disp 1" << "Disp 12" << none << true << true;
    QTest::newRow("changed, quit refused") << "Disp 1" << "Disp 12" << none << true << false;
    QTest::newRow("changed to empty") << "Disp 1" << "" << none << false << false;
    QTest::newRow("send dialog open") << "Disp 1" << unedited << QByteArray("tcbSendDialog") << false << false;
    QTest::newRow("collision question open")
        << "Disp 1" << unedited << QByteArray("doYouWantSendFile") << false << false;
    QTest::newRow("send dialog open, changed, quit confirmed")
        << "Disp 1" << "Disp 12" << QByteArray("tcbSendDialog") << true << true;
}

void TestEditorWindow::closing()
{
    QFETCH(QString, loaded);
    QFETCH(QString, edited);
    QFETCH(QByteArray, dialog);
    QFETCH(bool, asks);
    QFETCH(bool, quit);

    rig->open("Q.tcb", loaded);
    if (!edited.isNull())
        textArea()->setProperty("text", edited);
    if (dialog.isEmpty()) {
        rig->click("quitButton");
    } else {
        // The dialog keeps the toolbar from clicks: the window's own close button closes it.
        QMetaObject::invokeMethod(rig->object(dialog), "open");
        QTRY_VERIFY(isOpen(dialog));
        rig->editor()->close();
    }
    QTRY_COMPARE(isOpen("quitDialog"), asks);
    if (asks)
        answer("quitDialog", quit);

    const bool closes = !asks || quit;
    QTRY_COMPARE(rig->property("visible").toBool(), !closes);
    if (closes) {
        QCOMPARE(rig->text(), QString());
        QCOMPARE(rig->property("fileName").toString(), QString());
        QCOMPARE(rig->property("textModified").toBool(), false);
        QCOMPARE(rig->editor()->title(), QString(titlePrefix));
        // Its dialogs close with it, and the next program does not find them open.
        rig->open("NEXT.tcb", "Disp 2");
        for (const char* name : {"tcbSendDialog", "doYouWantSendFile", "quitDialog"})
            QVERIFY2(!isOpen(name), name);
    } else {
        QCOMPARE(rig->text(), edited);
        QCOMPARE(rig->editor()->title(), QString(titlePrefix) + "Q.tcb*");
    }
}

void TestEditorWindow::undoStartsAtTheLoadedText_data()
{
    QTest::addColumn<bool>("earlier"); // a program was opened, edited and closed before
    QTest::addColumn<QString>("loaded"); // null: a new program

    QTest::newRow("opening a program") << false << "Disp 1";
    QTest::newRow("new program after another") << true << QString();
    QTest::newRow("closing one and opening another") << true << "Disp 2";
}

// Undo never empties the loaded program nor brings back an earlier program's text.
void TestEditorWindow::undoStartsAtTheLoadedText()
{
    QFETCH(bool, earlier);
    QFETCH(QString, loaded);

    if (earlier) {
        rig->open("OLD.tcb", "Disp old");
        activateEditor();
        textArea()->setProperty("cursorPosition", rig->text().size());
        type("98");
        QTest::keySequence(rig->editor(), QKeySequence::Undo);
        QVERIFY(textArea()->property("canRedo").toBool());
        rig->discard();
        QTRY_VERIFY(!rig->property("visible").toBool());
    }
    if (loaded.isNull())
        rig->call(rig->mainWindow(), "newProgram");
    else
        rig->open("NEW.tcb", loaded);
    QTRY_VERIFY(rig->property("visible").toBool());

    QCOMPARE(textArea()->property("canUndo").toBool(), false);
    QCOMPARE(textArea()->property("canRedo").toBool(), false);
    activateEditor();
    QTest::keySequence(rig->editor(), QKeySequence::Undo);
    QCOMPARE(rig->text(), loaded.isNull() ? QString("") : loaded);
    QCOMPARE(rig->editor()->title(), QString(titlePrefix) + (loaded.isNull() ? "" : "NEW.tcb"));
}

void TestEditorWindow::sendDialog_data()
{
    QTest::addColumn<QString>("loaded");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("sentName");
    QTest::addColumn<QString>("status");

    const QString none;
    QTest::newRow("program name") << "PLAN.tcb" << none << "PLAN" << "PLAN.tcb" << sentStatus;
    QTest::newRow("name with underscore") << "MY_PROG.tcb" << none << "MY_PROG" << none << badName;
    QTest::newRow("no name") << "" << none << "program" << "program.tcb" << sentStatus;
    QTest::newRow("upper-case extension") << "PLAN.TCB" << none << "PLAN.TCB" << none << badName;
    QTest::newRow("long name cut")
        << "ABCDEFGHIJKLMNOPQRSTUV.tcb" << none << "ABCDEFGHIJKLMNOPQR" << none << badName;
    QTest::newRow("field emptied") << "PLAN.tcb" << "\b" << "" << none << emptyName;
    QTest::newRow("refused characters") << "PLAN.tcb" << "X_Y.Z" << "XYZ" << "XYZ.tcb" << sentStatus;
    QTest::newRow("typing stops at 14")
        << "PLAN.tcb" << "ABCDEFGHIJKLMNOP" << "ABCDEFGHIJKLMN" << "ABCDEFGHIJKLMN.tcb" << sentStatus;
}

void TestEditorWindow::sendDialog()
{
    QFETCH(QString, loaded);
    QFETCH(QString, typed);
    QFETCH(QString, field);
    QFETCH(QString, sentName);
    QFETCH(QString, status);

    rig->open(loaded, "Disp 1");
    QSignalSpy sends(rig->editor(), SIGNAL(sendFile(QString, QString)));
    openSendDialog();
    type(typed);
    QCOMPARE(rig->item("tcbSendDialogFileName")->property("text").toString(), field);
    answer("tcbSendDialog", true);

    QCOMPARE(rig->status(), status);
    QVERIFY(!isOpen("doYouWantSendFile"));
    if (sentName.isNull()) {
        QCOMPARE(sends.count(), 0);
        return;
    }
    QCOMPARE(sends.count(), 1);
    QCOMPARE(sends.first(), (QVariantList{sentName, "Disp 1"}));
    QCOMPARE(rig->property("fileName").toString(), sentName);
    QCOMPARE(rig->property("textModified").toBool(), false);
}

void TestEditorWindow::sendCollision_data()
{
    QTest::addColumn<QString>("loaded");
    // While the send dialog is open: another calculator is chosen in the main window, and
    // the main window's rename dialog is opened and cancelled.
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<bool>("sends");
    QTest::addColumn<QString>("status");

    const QString calcName = QString::fromLatin1(existingName);
    QTest::newRow("other letter case, replaced") << calcName.toLower() << "" << true << true << sentStatus;
    QTest::newRow("other letter case, kept")
        << calcName.toLower() << "" << false << false << "Canceling saving file " + calcName.toLower();
    QTest::newRow("another calculator chosen") << calcName.toLower() << "other chosen" << true << true << sentStatus;
    QTest::newRow("another chosen, rename opened")
        << calcName.toLower() << "rename opened" << true << true << sentStatus;
}

// The question and the send are about the calculator current when the send dialog opened.
void TestEditorWindow::sendCollision()
{
    QFETCH(QString, loaded);
    QFETCH(QString, meanwhile);
    QFETCH(bool, replace);
    QFETCH(bool, sends);
    QFETCH(QString, status);

    const int calcFiles = rig->fileModel.rowCount();
    std::unique_ptr<PluggedSimulator> other;
    if (!meanwhile.isEmpty()) {
        other = std::make_unique<PluggedSimulator>();
        QTRY_COMPARE_WITH_TIMEOUT(rig->calcModel.rowCount(), 2, 5000);
    }
    rig->open(loaded, "Disp 2");
    QSignalSpy sent(rig->editor(), SIGNAL(sendFile(QString, QString)));
    openSendDialog();
    if (other) {
        QVERIFY(rig->calcModel.setProperty("currentIndex", 1));
        QCOMPARE(rig->fileModel.rowCount(), 0);
    }
    if (meanwhile == "rename opened") {
        QObject* rename = rig->mainWindow()->findChild<QObject*>("changeNameDialog");
        QMetaObject::invokeMethod(rig->mainWindow(), "startRename");
        QTRY_VERIFY(rename->property("visible").toBool());
        QMetaObject::invokeMethod(rename, "reject");
        QTRY_VERIFY(!rename->property("visible").toBool());
    }
    answer("tcbSendDialog", true);
    QVERIFY(isOpen("doYouWantSendFile"));
    QCOMPARE(rig->status(), "Sending file " + loaded + "...");
    QCOMPARE(rig->object("doYouWantSendFileText")->property("text").toString(),
             "File " + loaded + " already exists on your calculator.\nDo you want to replace it?");
    QCOMPARE(sent.count(), 0);

    answer("doYouWantSendFile", replace);
    QCOMPARE(sent.count(), sends ? 1 : 0);
    QCOMPARE(rig->status(), status);
    if (other) {
        QVERIFY(other->simulator().files().isEmpty());
        other.reset();
        QTRY_COMPARE_WITH_TIMEOUT(rig->calcModel.rowCount(), 1, 5000);
        QTRY_COMPARE(rig->fileModel.rowCount(), calcFiles);
    }
}

void TestEditorWindow::saveDialog_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("failure"); // the status of a save that wrote nothing; null: saved
    // To the question whether to replace the file that stands at the path: "" when none is asked.
    QTest::addColumn<QString>("reply");

    const QString program("Disp \u0098(1)");
    const QString saved;
    QTest::newRow("no extension, program filter") << "prog" << 0 << "prog.tcb" << program << saved << "";
    QTest::newRow("no extension, text filter") << "prog" << 1 << "prog.txt" << program << saved << "";
    QTest::newRow("no extension, all files") << "prog" << 2 << "prog" << program << saved << "";
    QTest::newRow("upper-case extension, program filter")
        << "prog.TCB" << 0 << "prog.TCB.tcb" << program << saved << "";
    QTest::newRow("program extension kept") << "prog.tcb" << 0 << "prog.tcb" << program << saved << "";
    QTest::newRow("text extension, program filter") << "notes.txt" << 0 << "notes.txt.tcb" << program << saved << "";
    QTest::newRow("text extension kept") << "notes.txt" << 1 << "notes.txt" << program << saved << "";
    QTest::newRow("empty name") << "" << 0 << QString() << program << saved << "";
    QTest::newRow("folder gone") << "gone/prog" << 0 << "gone/prog.tcb" << program << notSavedStatus << "";
    QTest::newRow("non-breaking space kept") << "prog" << 0 << "prog.tcb" << QString("A\u00A0B") << saved << "";
    QTest::newRow("every character but carriage return") << "prog" << 0 << "prog.tcb" << latin1Range() << saved << "";
    QTest::newRow("characters the calculator lacks") << "prog" << 0 << "prog.tcb" << pasted << pastedRefused << "";
    QTest::newRow("over an older program") << "prog" << 0 << "prog.tcb" << program << saved << "Yes";
    QTest::newRow("over an older program, refused") << "prog" << 0 << "prog.tcb" << program << saved << "No";
}

void TestEditorWindow::saveDialog()
{
    QFETCH(QString, chosen);
    QFETCH(int, filter);
    QFETCH(QString, saved);
    QFETCH(QString, text);
    QFETCH(QString, failure);
    QFETCH(QString, reply);

    QTemporaryDir base;
    const QString folder = base.filePath("my #1 programs") + '/';
    QVERIFY(QDir().mkpath(folder));
    const QByteArray older("older program\n");
    if (!reply.isEmpty())
        QVERIFY(writeFile(folder + saved, older));
    rig->open("S.tcb", text);
    QObject* dialog = rig->object("tcbSaveDialog");
    QSignalSpy saves(rig->editor(), SIGNAL(saveFile(QString, QString)));

    rig->click("saveLocalButton");
    QTRY_VERIFY(dialog->property("visible").toBool());
    // The path is typed in the dialog's field, once the dialog has read its folder.
    const QQuickItem* list = fileDialogPart(dialog, "sortIndicatorColumn");
    QVERIFY(list);
    QTRY_VERIFY(list->property("model").value<QObject*>());
    QQuickItem* field = fileDialogPart(dialog, "doAccept()");
    QVERIFY(field);
    field->setProperty("text", folder + chosen);
    dialog->setProperty("selectedNameFilterIndex", filter);
    QMetaObject::invokeMethod(dialog, "clearSelection");
    QMetaObject::invokeMethod(dialog, "addSelection", Q_ARG(QUrl, QUrl::fromLocalFile(folder + chosen)));
    QMetaObject::invokeMethod(dialog, "accept");

    // Asked once, and only when a file stands there.
    QCOMPARE(isOpen("doYouWantReplaceFile"), !reply.isEmpty());
    if (!reply.isEmpty()) {
        QCOMPARE(rig->object("doYouWantReplaceFileText")->property("text").toString(),
                 "File " + folder + saved + " already exists on your PC.\nDo you want to replace it?");
        answer("doYouWantReplaceFile", reply == "Yes");
        QTRY_VERIFY(!isOpen("doYouWantReplaceFile"));
    }
    if (reply == "No") {
        // Nothing written, the text still unsaved under its old name, and the save offered again.
        QCOMPARE(saves.count(), 0);
        QCOMPARE(fileContent(folder + saved), older);
        QCOMPARE(rig->property("fileName").toString(), QString("S.tcb"));
        QVERIFY(dialog->property("visible").toBool());
        QMetaObject::invokeMethod(dialog, "reject");
        return;
    }

    if (saved.isNull()) {
        QCOMPARE(saves.count(), 0);
        QCOMPARE(rig->status(), QString(emptyName));
        return;
    }
    QCOMPARE(saves.count(), 1);
    QCOMPARE(saves.first(), (QVariantList{folder + saved, text}));
    if (!failure.isNull()) {
        // A save that failed is no success: the text stays unsaved, so closing still asks.
        QCOMPARE(fileContent(folder + saved), QByteArray("<missing>"));
        QCOMPARE(rig->status(), failure);
        QCOMPARE(rig->property("textModified").toBool(), true);
        QCOMPARE(rig->text(), text);
        return;
    }
    QCOMPARE(fileContent(folder + saved), text.toLatin1() + '\n');
    QCOMPARE(rig->status(), QString(savedStatus));
    QCOMPARE(rig->property("fileName").toString(), saved);
    QCOMPARE(rig->property("textModified").toBool(), false);

    // The next save of this editing starts in the folder of the last one, with no file chosen.
    rig->click("saveLocalButton");
    QTRY_VERIFY(dialog->property("visible").toBool());
    QCOMPARE(dialog->property("folder").toUrl().toLocalFile(), folder);
    QVERIFY2(!field->property("text").toString().endsWith(saved), qPrintable(field->property("text").toString()));
    QMetaObject::invokeMethod(dialog, "reject");
}

void TestEditorWindow::roundTrip()
{
    QQuickItem* table = rig->mainWindow()->findChild<QQuickItem*>("tableView");
    int row = -1;
    for (int i = 0; i < rig->fileModel.rowCount(); ++i) {
        if (rig->fileModel.getName(i) == programName)
            row = i;
    }
    QVERIFY(row >= 0);
    const QPoint at = rowPoint(table, "rowAt", row);
    QVERIFY(at.y() >= 0);
    QTest::mouseDClick(rig->mainWindow(), Qt::LeftButton, Qt::NoModifier, at);
    QTRY_VERIFY(rig->property("visible").toBool());
    QCOMPARE(documentText(rig->document()), QString::fromLatin1(programBytes));
    QCOMPARE(rig->editor()->title(), QString(titlePrefix) + programName);

    activateEditor();
    textArea()->setProperty("cursorPosition", rig->text().size());
    type("Disp ");
    activateEntry(catalogueIndex({0, 0}));
    rig->click("textArea");
    textArea()->setProperty("cursorPosition", rig->text().size());
    type("5");
    QCOMPARE(rig->editor()->title(), QString(titlePrefix) + programName + "*");

    openSendDialog();
    QCOMPARE(rig->item("tcbSendDialogFileName")->property("text").toString(), QString("PROG"));
    answer("tcbSendDialog", true);
    QVERIFY(isOpen("doYouWantSendFile"));
    answer("doYouWantSendFile", true);

    QCOMPARE(rig->status(), QString(sentStatus));
    QCOMPARE(rig->editor()->title(), QString(titlePrefix) + programName);
    const QByteArray expected = programBytes + "Disp \x98" "5\n";
    const calcsim::FileList files = calc->simulator().files();
    const auto stored = std::find_if(files.begin(), files.end(),
                                     [](const auto& file) { return file.first == programName; });
    QVERIFY(stored != files.end());
    QCOMPARE(stored->second, expected);
}

void TestEditorWindow::failedSend_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("text");
    // Followed by the calculator's own error text when it refused the file.
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("mainStatus");

    QTest::newRow("refused by the calculator") << "refused" << "Disp 3" << errorStart << errorStart;
    QTest::newRow("characters the calculator lacks") << "characters" << pasted << pastedRefused << pastedRefused;
    // Sent to no other calculator, which has become the current one meanwhile.
    QTest::newRow("calculator left after the dialog opened") << "left" << "Disp 3" << notConnected << notConnected;
    // Another calculator on its port, before any poll has seen the swap.
    QTest::newRow("calculator swapped after the dialog opened") << "swapped" << "Disp 3" << notConnected << notConnected;
    QTest::newRow("no calculator") << "unplugged" << "Disp 3" << notConnected << noCalculator;
    // Refused before the question about the file it did read.
    QTest::newRow("list read in part") << "read in part" << "Disp 3" << listUnknown << listUnknown;
}

// A text that did not reach the calculator stays unsaved: closing asks the quit question.
void TestEditorWindow::failedSend()
{
    QFETCH(QString, cause);
    QFETCH(QString, text);
    QFETCH(QString, status);
    QFETCH(QString, mainStatus);

    rig->session.setProperty("error", "");
    calc->simulator().clearReceived();
    std::unique_ptr<PluggedSimulator> other;
    calcsim::FileList otherFiles;
    const CTaviCalc::Timeouts waits = CTaviCalc::timeouts();
    if (cause == "left") {
        other = std::make_unique<PluggedSimulator>();
        QTRY_COMPARE_WITH_TIMEOUT(rig->calcModel.rowCount(), 2, 5000);
    } else if (cause == "read in part") {
        // Its first read stops after the record of LOST.tcb: the list stays unknown.
        const int listed = rig->calcModel.rowCount();
        other = std::make_unique<PluggedSimulator>();
        otherFiles = {{"LOST.tcb", "old"}, {"B.tcb", "b"}};
        other->simulator().setFiles(otherFiles);
        silence(other->simulator(), secondRecord, secondRecord);
        CTaviCalc::Timeouts shortWaits = waits;
        shortWaits.firstByte = 300;
        CTaviCalc::setTimeoutsForTesting(shortWaits);
        QTRY_COMPARE_WITH_TIMEOUT(rig->calcModel.rowCount(), listed + 1, 5000);
        QVERIFY(rig->calcModel.setProperty("currentIndex", listed));
        QCOMPARE(rig->fileModel.rowCount(), 1);
    } else if (cause == "unplugged") {
        calc->unplug();
        QTRY_COMPARE(rig->calcModel.rowCount(), 0);
    } else if (cause == "refused") {
        calcsim::Fault refusal;
        refusal.message = announcementAnswer;
        refusal.mode = calcsim::FaultMode::Failed;
        calc->simulator().addFault(refusal);
    }
    rig->open("LOST.tcb", text);
    openSendDialog();
    if (cause == "left") {
        calc->unplug();
        QTRY_COMPARE_WITH_TIMEOUT(rig->calcModel.rowCount(), 1, 5000);
    } else if (cause == "swapped") {
        calc->unplug();
        other = std::make_unique<PluggedSimulator>();
        otherFiles = {{"LOST.tcb", "old"}};
        other->simulator().setFiles(otherFiles);
    }
    answer("tcbSendDialog", true);
    calc->simulator().clearFaults();

    // Only the calculator's refusal is an error of the transfer, shown in the error dialog.
    const QString calculatorText = rig->session.property("error").toString();
    QCOMPARE(calculatorText.isEmpty(), cause != "refused");
    QCOMPARE(rig->status(), status + calculatorText);
    QCOMPARE(rig->session.property("statusLineText").toString(), mainStatus + calculatorText);
    if (cause == "characters")
        QCOMPARE(calc->simulator().received().size(), 0);
    CTaviCalc::setTimeoutsForTesting(waits);
    if (other)
        QCOMPARE(other->simulator().files(), otherFiles);
    QCOMPARE(rig->text(), text);
    QCOMPARE(rig->editor()->title(), QString(titlePrefix) + "LOST.tcb*");
    rig->click("quitButton");
    QTRY_VERIFY(isOpen("quitDialog"));
    QVERIFY(rig->property("visible").toBool());
}

CALCSIM_TEST_MAIN(TestEditorWindow)
#include "tst_editorwindow.moc"

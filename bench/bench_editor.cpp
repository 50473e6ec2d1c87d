// The editor window, whose highlighter colours the brackets of every line, beside the same text
// without colouring, in one run: loading a long program, and typing into a long program and into
// one long line of brackets.
// Run under the offscreen platform: QT_QPA_PLATFORM=offscreen bench_editor
#include "EditorRig.h"

#include "editor/SyntaxHighlighter.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QQmlComponent>
#include <QQuickItem>
#include <QQuickTextDocument>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int programLines = 2000;
constexpr int rounds = 15;
constexpr int typedProgramLines = 5000;
// One line of this many characters, six of every eleven a bracket.
constexpr int longLineLength = 11000;
constexpr int keys = 9;
constexpr int frameTimeout = 10000;
// The documents' console lines are written in the "qml" category.
constexpr char quietConsole[] = "qml.debug=false\nqml.info=false";

const char plainDocument[] = R"(
import QtQuick 2.15
import QtQuick.Window 2.1
import QtQuick.Controls 2.5
Window {
    width: 800; height: 600; visible: true
    property alias area: area
    TextArea {
        id: area
        anchors.fill: parent
        textFormat: TextEdit.PlainText
        wrapMode: TextEdit.NoWrap
        font.pixelSize: 14
    }
}
)";

// Lines with brackets nested up to four deep, calculator characters among them.
QString nestedProgram(int lineCount)
{
    const QStringList shapes{
        "If (A>B[%1]){",
        " Disp \u0098(1+(2*(%1-[4])))",
        " %1\u00a8X:Y\u00a8(X+{1,2,(3)})",
        "}",
        "For(I,1,%1):Disp round(\u007f(I),2):End",
    };
    QStringList lines;
    for (int i = 0; i < lineCount; ++i)
        lines << QString(shapes.at(i % shapes.size())).replace("%1", QString::number(i));
    return lines.join('\n');
}

QString bracketLine()
{
    return QString("(A+[B]{C})-").repeated(longLineLength / 11);
}

double median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

double medianOf(const std::function<double()>& run)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i)
        times.push_back(run());
    return median(times);
}

double milliseconds(const QElapsedTimer& timer)
{
    return timer.nsecsElapsed() / 1e6;
}

SyntaxHighlighter* highlighterOf(const EditorRig& rig)
{
    return qobject_cast<SyntaxHighlighter*>(rig.object("syntaxHighlighter"));
}

// Runs the work, then waits until the highlighter has passed over as many blocks as the
// document has.
void highlightedAfter(const EditorRig& rig, const std::function<void()>& work)
{
    int highlighted = 0;
    const auto counter = QObject::connect(highlighterOf(rig), qOverload<const QVariant&>(&SyntaxHighlighter::highlightBlock),
                                          [&highlighted] { ++highlighted; });
    work();
    while (highlighted < rig.document()->blockCount())
        QCoreApplication::processEvents();
    QObject::disconnect(counter);
}

// The editor takes the program until its highlighter has passed over every line.
double editorLoad(EditorRig& rig, const QString& program)
{
    rig.setProperty("visible", true);
    QElapsedTimer timer;
    timer.start();
    highlightedAfter(rig, [&] { rig.call("loadFile", {"BENCH.tcb", program}); });
    const double elapsed = milliseconds(timer);
    rig.discard();
    return elapsed;
}

double plainLoad(QQmlEngine& engine, const QString& program)
{
    QQmlComponent component(&engine);
    component.setData(plainDocument, QUrl());
    std::unique_ptr<QObject> window(component.create());
    QObject* area = window->property("area").value<QObject*>();
    QElapsedTimer timer;
    timer.start();
    QMetaObject::invokeMethod(area, "append", Q_ARG(QString, program));
    return milliseconds(timer);
}

bool frameShown(QSignalSpy& swapped)
{
    return !swapped.isEmpty() || swapped.wait(frameTimeout);
}

struct Typing
{
    double key = 0;          // from the key press to the frame that shows the character
    double redrawing = 0;    // the scene's update within it, where the text area makes its nodes
    double blocks = 0;       // blocks handed to the highlighter per key
};

// Keys typed one by one in the middle of the editor's text, each waited for until it is shown.
Typing typeKeys(EditorRig& rig)
{
    QQuickWindow* window = rig.editor();
    QQuickItem* area = rig.item("textArea");
    area->setProperty("cursorPosition", rig.document()->characterCount() / 2);
    QSignalSpy settled(window, &QQuickWindow::frameSwapped);
    frameShown(settled);

    QElapsedTimer sync;
    double syncing = 0;
    const auto before = QObject::connect(window, &QQuickWindow::beforeSynchronizing, [&] { sync.start(); });
    const auto after = QObject::connect(window, &QQuickWindow::afterSynchronizing, [&] { syncing += milliseconds(sync); });
    QSignalSpy highlighted(highlighterOf(rig), qOverload<const QVariant&>(&SyntaxHighlighter::highlightBlock));
    std::vector<double> shown, redrawn;
    for (int i = 0; i < keys; ++i) {
        QSignalSpy swapped(window, &QQuickWindow::frameSwapped);
        syncing = 0;
        QElapsedTimer timer;
        timer.start();
        QTest::keyClick(window, 'x');
        if (!frameShown(swapped))
            std::fprintf(stderr, "no frame came after a key\n");
        shown.push_back(milliseconds(timer));
        redrawn.push_back(syncing);
    }
    QObject::disconnect(before);
    QObject::disconnect(after);
    return {median(shown), median(redrawn), double(highlighted.count()) / keys};
}

// The same text area typed into with its brackets coloured, then with the highlighter taken
// off (which removes the colours), then put back.
std::pair<Typing, Typing> typingSideBySide(EditorRig& rig, const QString& text)
{
    SyntaxHighlighter* highlighter = highlighterOf(rig);
    QQuickTextDocument* document = highlighter->textDocument();
    rig.setProperty("visible", true);
    rig.editor()->requestActivate();
    if (!QTest::qWaitForWindowActive(rig.editor()))
        std::fprintf(stderr, "the editor did not become active\n");
    highlightedAfter(rig, [&] { rig.call("loadFile", {"BENCH.tcb", text}); });
    const Typing coloured = typeKeys(rig);
    highlighter->setTextDocument(nullptr);
    const Typing plain = typeKeys(rig);
    highlightedAfter(rig, [&] { highlighter->setTextDocument(document); });
    rig.discard();
    return {coloured, plain};
}

int bracketCount(const QString& text)
{
    return std::count_if(text.begin(), text.end(), [](QChar ch) { return QStringLiteral("()[]{}").contains(ch); });
}

void printTyping(const QString& what, const std::pair<Typing, Typing>& typing)
{
    const Typing& coloured = typing.first;
    const Typing& plain = typing.second;
    std::printf("%s\n", qPrintable(what));
    std::printf("  a key, coloured brackets:             %8.1f ms  (%.1f x uncoloured)\n", coloured.key,
                coloured.key / plain.key);
    std::printf("  a key, uncoloured:                    %8.1f ms\n", plain.key);
    std::printf("  redrawing in a key, coloured:         %8.1f ms  (%.1f x uncoloured)\n", coloured.redrawing,
                coloured.redrawing / plain.redrawing);
    std::printf("  redrawing in a key, uncoloured:       %8.1f ms\n", plain.redrawing);
    std::printf("  blocks highlighted per key:           %8.1f\n", coloured.blocks);
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    EditorRig rig;
    if (!rig.editor()) {
        std::fprintf(stderr, "the main window document did not load\n");
        return 1;
    }
    const QString program = nestedProgram(programLines);

    const double plain = medianOf([&] { return plainLoad(rig.engine, program); });
    const double logged = medianOf([&] { return editorLoad(rig, program); });
    QLoggingCategory::setFilterRules(quietConsole);
    const double quiet = medianOf([&] { return editorLoad(rig, program); });

    std::printf("program: %d lines, median of %d loads\n", programLines, rounds);
    std::printf("plain text area:                       %8.1f ms\n", plain);
    std::printf("editor, console lines switched off:    %8.1f ms  (%.1f x plain)\n", quiet, quiet / plain);
    std::printf("editor, console lines written:         %8.1f ms  (%.1f x plain)\n", logged, logged / plain);
    std::printf("share of the console lines in a load:  %8.0f %%\n", 100 * (logged - quiet) / logged);

    // Console lines stay switched off: a key writes those of one line only.
    const QString longLine = bracketLine();
    const auto inProgram = typingSideBySide(rig, nestedProgram(typedProgramLines));
    const auto inLongLine = typingSideBySide(rig, longLine);
    std::printf("\ntyping, median of %d keys in the middle of the text, each until the frame that shows it;\n"
                "uncoloured: the same text area with the highlighter taken off\n", keys);
    printTyping(QString("program: %1 lines").arg(typedProgramLines), inProgram);
    printTyping(QString("one line of %1 characters, %2 brackets").arg(longLine.size()).arg(bracketCount(longLine)),
                inLongLine);
    return 0;
}

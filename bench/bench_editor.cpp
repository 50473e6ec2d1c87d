// Loading a long program into the editor window, whose highlighter colours the brackets of
// every line, beside the same load into a plain text area without a highlighter, in one run.
// Run under the offscreen platform: QT_QPA_PLATFORM=offscreen bench_editor
#include "EditorRig.h"

#include "editor/SyntaxHighlighter.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QQmlComponent>
#include <QQuickWindow>
#include <QTextDocument>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int programLines = 2000;
constexpr int rounds = 15;
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
QString nestedProgram()
{
    const QStringList shapes{
        "If (A>B[%1]){",
        " Disp \u0098(1+(2*(%1-[4])))",
        " %1\u00a8X:Y\u00a8(X+{1,2,(3)})",
        "}",
        "For(I,1,%1):Disp round(\u007f(I),2):End",
    };
    QStringList lines;
    for (int i = 0; i < programLines; ++i)
        lines << shapes.at(i % shapes.size()).arg(i);
    return lines.join('\n');
}

double medianOf(const std::function<double()>& run)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i)
        times.push_back(run());
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

double milliseconds(const QElapsedTimer& timer)
{
    return timer.nsecsElapsed() / 1e6;
}

// The editor takes the program until its highlighter has passed over every line.
double editorLoad(EditorRig& rig, const QString& program)
{
    auto* highlighter = qobject_cast<SyntaxHighlighter*>(rig.object("syntaxHighlighter"));
    int highlighted = 0;
    const auto counter = QObject::connect(highlighter, qOverload<const QVariant&>(&SyntaxHighlighter::highlightBlock),
                                          [&highlighted] { ++highlighted; });
    rig.setProperty("visible", true);
    QElapsedTimer timer;
    timer.start();
    rig.call("loadFile", {"BENCH.tcb", program});
    while (highlighted < rig.document()->blockCount())
        QCoreApplication::processEvents();
    const double elapsed = milliseconds(timer);
    QObject::disconnect(counter);
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

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    EditorRig rig;
    if (!rig.editor()) {
        std::fprintf(stderr, "the main window document did not load\n");
        return 1;
    }
    const QString program = nestedProgram();

    const double plain = medianOf([&] { return plainLoad(rig.engine, program); });
    const double logged = medianOf([&] { return editorLoad(rig, program); });
    QLoggingCategory::setFilterRules(quietConsole);
    const double quiet = medianOf([&] { return editorLoad(rig, program); });

    std::printf("program: %d lines, median of %d loads\n", programLines, rounds);
    std::printf("plain text area:                       %8.1f ms\n", plain);
    std::printf("editor, console lines switched off:    %8.1f ms  (%.1f x plain)\n", quiet, quiet / plain);
    std::printf("editor, console lines written:         %8.1f ms  (%.1f x plain)\n", logged, logged / plain);
    std::printf("share of the console lines in a load:  %8.0f %%\n", 100 * (logged - quiet) / logged);
    return 0;
}

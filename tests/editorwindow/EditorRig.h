#pragma once

#include "app/QmlClipboardAdapter.h"
#include "editor/TaviFuncTreeModel.h"
#include "session/CTaviCalcSession.h"
#include "session/TaviCalcModel.h"
#include "session/TaviFileModel.h"

#include <QQmlApplicationEngine>
#include <QVariant>

class QQuickItem;
class QQuickWindow;
class QTextDocument;

// The application's objects as main builds them, with the real main window document loaded,
// and access to the editor window inside it. One per process: it registers the QML types
// and the code font.
class EditorRig
{
public:
    EditorRig();

    QQuickWindow* mainWindow() const;
    QQuickWindow* editor() const;
    // An object of the editor window by its objectName.
    QObject* object(const char* name) const;
    QQuickItem* item(const char* name) const;
    QTextDocument* document() const;

    QString text() const;
    QString status() const;
    QVariant property(const char* name) const;
    void setProperty(const char* name, const QVariant& value);
    // Calls a function of the editor's document with up to three arguments.
    QVariant call(const char* function, const QVariantList& args = {}) const;
    QVariant call(QObject* target, const char* function, const QVariantList& args = {}) const;

    // What main.qml does with a program fetched from the calculator.
    void open(const QString& fileName, const QString& text);
    // Closes the editor without the quit question, whatever its text.
    void discard();
    // A left click in the middle of the editor's item.
    void click(const char* name);

    QString codeFontFamily;
    QmlClipboardAdapter clipboard;
    TaviCalcModel calcModel;
    TaviFileModel fileModel;
    CTaviCalcSession session;
    TaviFuncTreeModel funcModel;
    QQmlApplicationEngine engine;
};

#include "EditorRig.h"

#include "app/AppStartup.h"

#include <QFile>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickTextDocument>
#include <QQuickWindow>
#include <QtTest>

namespace {

QByteArray catalogue()
{
    QFile file(AppStartup::cataloguePath);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// Start-up's own steps, in its order, before the objects that follow them exist.
QString prepareApplication()
{
    // The offscreen platform has no OpenGL; the windows are drawn in software.
    QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
    AppStartup::registerQmlTypes();
    const QString family = AppStartup::registerFontFamily(AppStartup::codeFontPath);
    QGuiApplication::setFont(AppStartup::defaultFont(family));
    return family;
}

} // namespace

EditorRig::EditorRig()
    : codeFontFamily(prepareApplication())
    , funcModel(catalogue())
{
    session.initialize(&calcModel, &fileModel);
    AppStartup::publish(engine, {&session, &calcModel, &fileModel, &clipboard, &funcModel});
    engine.load(QUrl(AppStartup::mainDocument));
}

QQuickWindow* EditorRig::mainWindow() const
{
    return qobject_cast<QQuickWindow*>(engine.rootObjects().value(0));
}

QQuickWindow* EditorRig::editor() const
{
    QQuickWindow* window = mainWindow();
    return window ? window->findChild<QQuickWindow*>("editor") : nullptr;
}

QObject* EditorRig::object(const char* name) const
{
    return editor()->findChild<QObject*>(name);
}

QQuickItem* EditorRig::item(const char* name) const
{
    return editor()->findChild<QQuickItem*>(name);
}

QTextDocument* EditorRig::document() const
{
    return item("textArea")->property("textDocument").value<QQuickTextDocument*>()->textDocument();
}

QString EditorRig::text() const
{
    return item("textArea")->property("text").toString();
}

QString EditorRig::status() const
{
    return item("statusLine")->property("text").toString();
}

QVariant EditorRig::property(const char* name) const
{
    return editor()->property(name);
}

void EditorRig::setProperty(const char* name, const QVariant& value)
{
    editor()->setProperty(name, value);
}

QVariant EditorRig::call(const char* function, const QVariantList& args) const
{
    return call(editor(), function, args);
}

QVariant EditorRig::call(QObject* target, const char* function, const QVariantList& args) const
{
    QVariant result;
    QGenericArgument a[3];
    for (int i = 0; i < args.size(); ++i)
        a[i] = Q_ARG(QVariant, args.at(i));
    QMetaObject::invokeMethod(target, function, Q_RETURN_ARG(QVariant, result), a[0], a[1], a[2]);
    return result;
}

void EditorRig::open(const QString& fileName, const QString& text)
{
    call("loadFile", {fileName, text});
    setProperty("visible", true);
}

void EditorRig::discard()
{
    setProperty("textModified", false);
    editor()->close();
}

void EditorRig::click(const char* name)
{
    QQuickItem* target = item(name);
    const QPointF centre(target->width() / 2, target->height() / 2);
    QTest::mouseClick(editor(), Qt::LeftButton, Qt::NoModifier, target->mapToScene(centre).toPoint());
}

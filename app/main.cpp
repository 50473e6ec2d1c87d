#include "app/AppStartup.h"
#include "app/QmlClipboardAdapter.h"
#include "editor/TaviFuncTreeModel.h"
#include "session/CTaviCalcSession.h"
#include "session/TaviCalcModel.h"
#include "session/TaviFileModel.h"

#include <QByteArray>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QString>
#include <QUrl>

// Every object lives in this scope, created in the order below; leaving the scope destroys
// them in reverse, the engine and its windows first and the application object last.
int main(int argc, char* argv[])
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    AppStartup::setIdentity();
    QGuiApplication app(argc, argv);
    AppStartup::registerQmlTypes();

    const QString fontFamily = AppStartup::registerFontFamily(AppStartup::codeFontPath);
    const QFont font = AppStartup::defaultFont(fontFamily);
    QGuiApplication::setFont(font);
    const QIcon icon(AppStartup::windowIconPath);
    QGuiApplication::setWindowIcon(icon);

    QmlClipboardAdapter clipboard;
    TaviCalcModel calcModel;
    TaviFileModel fileModel;
    CTaviCalcSession session;
    session.initialize(&calcModel, &fileModel);

    QFile catalogueFile(AppStartup::cataloguePath);
    catalogueFile.open(QIODevice::ReadOnly); // part of the program's own resources
    const QByteArray catalogue = catalogueFile.readAll();
    TaviFuncTreeModel funcModel(catalogue);
    catalogueFile.close();

    QQmlApplicationEngine engine;
    AppStartup::publish(engine, {&session, &calcModel, &fileModel, &clipboard, &funcModel});
    return AppStartup::run(engine, QUrl(AppStartup::mainDocument));
}

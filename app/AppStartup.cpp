#include "app/AppStartup.h"

#include "editor/SyntaxHighlighter.h"
#include "editor/TextCharFormat.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>

namespace {

constexpr char applicationName[] = "Tavilink";
constexpr char applicationVersion[] = "2.6.1";
constexpr char organisationDomain[] = "tavicalc.example";
constexpr char organisationName[] = "Tavi";
constexpr char highlighterModule[] = "SyntaxHighlighter";
constexpr int highlighterMajor = 1;
constexpr int highlighterMinor = 0;
constexpr int noRootObject = -1;

} // namespace

namespace AppStartup {

void setIdentity()
{
    QCoreApplication::setApplicationName(applicationName);
    QCoreApplication::setApplicationVersion(applicationVersion);
    QCoreApplication::setOrganizationDomain(organisationDomain);
    QCoreApplication::setOrganizationName(organisationName);
}

void registerQmlTypes()
{
    qmlRegisterType<SyntaxHighlighter>(highlighterModule, highlighterMajor, highlighterMinor,
                                       "SyntaxHighlighter");
    qmlRegisterType<TextCharFormat>(highlighterModule, highlighterMajor, highlighterMinor,
                                    "TextCharFormat");
}

QString registerFontFamily(const QString& fontPath)
{
    const int id = QFontDatabase::addApplicationFont(fontPath);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    return families.isEmpty() ? QString() : families.first();
}

QFont defaultFont(const QString& family)
{
    if (family.isEmpty())
        return QGuiApplication::font();
    return QFont(family, codeFontPointSize, QFont::Normal, false);
}

void publish(QQmlApplicationEngine& engine, const ContextObjects& objects)
{
    QQmlContext* context = engine.rootContext();
    context->setContextProperty("calcSession", objects.calcSession);
    context->setContextProperty("calcModel", objects.calcModel);
    context->setContextProperty("fileModel", objects.fileModel);
    context->setContextProperty("clipboard", objects.clipboard);
    context->setContextProperty("funcModel", objects.funcModel);
}

int run(QQmlApplicationEngine& engine, const QUrl& document)
{
    engine.load(document);
    if (engine.rootObjects().isEmpty())
        return noRootObject;
    return QGuiApplication::exec();
}

} // namespace AppStartup

#pragma once

#include <QObject>
#include <QString>

// One entry of the function catalogue: the text a user inserts and the text that
// describes it.
class TaviFuncType : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString funcName READ funcName WRITE setFuncName NOTIFY funcNameChanged)
    Q_PROPERTY(QString funcDesc READ funcDesc WRITE setFuncDesc NOTIFY funcDescChanged)

public:
    explicit TaviFuncType(QObject* parent = nullptr);

    QString funcName() const;
    void setFuncName(const QString& name);
    QString funcDesc() const;
    void setFuncDesc(const QString& desc);

signals:
    void funcNameChanged();
    void funcDescChanged();

private:
    QString m_funcName;
    QString m_funcDesc;
};

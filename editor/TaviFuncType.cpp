#include "editor/TaviFuncType.h"

TaviFuncType::TaviFuncType(QObject* parent)
    : QObject(parent)
{
}

QString TaviFuncType::funcName() const
{
    return m_funcName;
}

void TaviFuncType::setFuncName(const QString& name)
{
    m_funcName = name;
    emit funcNameChanged();
}

QString TaviFuncType::funcDesc() const
{
    return m_funcDesc;
}

void TaviFuncType::setFuncDesc(const QString& desc)
{
    m_funcDesc = desc;
    emit funcDescChanged();
}

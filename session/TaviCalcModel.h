#pragma once

#include <QAbstractListModel>
#include <QStringList>

// The connected calculators, one name per row, in the session's worker order, together with
// which row is the current calculator.
class TaviCalcModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(int currentIndex READ getCurrentIndex WRITE setCurrentIndex NOTIFY indexOrSizeChange)

public:
    explicit TaviCalcModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    int getCurrentIndex() const;
    void setCurrentIndex(int index);

    void initialize(QStringList list);
    void pushBack(QString name);
    void deleteAt(int row);
    void changeName(QString name);

    Q_INVOKABLE QString debugInf();
    Q_INVOKABLE QString getName();

signals:
    void indexOrSizeChange(int newIndex);

private:
    bool isRow(int row) const;

    int currentIndex = -1;
    QStringList names;
};

#include "editor/TaviFuncTreeModel.h"

#include "editor/TaviFuncType.h"

#include <QVector>

namespace {

const QString rootData = QStringLiteral("RootData");
const QByteArray nameRole = QByteArrayLiteral("name");
const QByteArray descRole = QByteArrayLiteral("desc");

// The catalogue writes a calculator character as "\x" and two hexadecimal digits.
constexpr char escapeStart = '\\';
constexpr char escapeMark = 'x';
constexpr int escapePrefix = 2;
constexpr int escapeDigits = 2;
constexpr int escapeLength = escapePrefix + escapeDigits;
constexpr char lineEnd = '\n';

constexpr QChar indentBlank = QLatin1Char(' ');
constexpr QChar partSeparator = QLatin1Char('@');

bool startsEscape(const QByteArray& data, int i)
{
    return data.at(i) == escapeStart && i + 1 < data.size() && data.at(i + 1) == escapeMark;
}

int leadingBlanks(const QString& line)
{
    int position = 0;
    while (position < line.size() && line.at(position) == indentBlank)
        ++position;
    return position;
}

} // namespace

TaviFuncTreeModel::TaviFuncTreeModel(QByteArray catalogue, QObject* parent)
    : QAbstractItemModel(parent)
    , m_roleNames{{TreeModelRoleName, nameRole}, {TreeModelRoleDesc, descRole}}
{
    // Entries reach QML inside QVariants.
    qRegisterMetaType<TaviFuncType*>();
    m_rootItem = std::make_unique<TaviFuncTreeItem>(QList<QVariant>{rootData}, nullptr);
    const QString text = unescapeHexCodes(catalogue);
    buildFuncTree(text.split(QLatin1Char(lineEnd)), m_rootItem.get());
}

TaviFuncTreeModel::~TaviFuncTreeModel() = default;

QModelIndex TaviFuncTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return {};
    TaviFuncTreeItem* child = itemFor(parent)->child(row);
    return child ? createIndex(row, column, child) : QModelIndex();
}

QModelIndex TaviFuncTreeModel::parent(const QModelIndex& index) const
{
    if (!index.isValid())
        return {};
    TaviFuncTreeItem* parentItem = itemFor(index)->parentItem();
    if (parentItem == m_rootItem.get())
        return {};
    return createIndex(parentItem->row(), 0, parentItem);
}

int TaviFuncTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return itemFor(parent)->childCount();
}

int TaviFuncTreeModel::columnCount(const QModelIndex& parent) const
{
    return itemFor(parent)->columnCount();
}

QVariant TaviFuncTreeModel::data(const QModelIndex& index, int role) const
{
    // Each role reads the column at its offset from the first role; the single column
    // holds the entry, so only "name" gives a value.
    if (!index.isValid() || (role != TreeModelRoleName && role != TreeModelRoleDesc))
        return {};
    return itemFor(index)->data(role - TreeModelRoleName);
}

QVariant TaviFuncTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return m_rootItem->data(section);
}

Qt::ItemFlags TaviFuncTreeModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? QAbstractItemModel::flags(index) : Qt::NoItemFlags;
}

QHash<int, QByteArray> TaviFuncTreeModel::roleNames() const
{
    return m_roleNames;
}

QString TaviFuncTreeModel::unescapeHexCodes(QByteArray& data)
{
    int i = 0;
    while (i < data.size()) {
        if (!startsEscape(data, i)) {
            ++i;
            continue;
        }
        // Non-digits are skipped: two digits give a byte, one digit its value, none nothing.
        const QByteArray decoded = QByteArray::fromHex(data.mid(i + escapePrefix, escapeDigits));
        data.remove(i, escapeLength);
        data.insert(i, decoded);
        // What was inserted never starts an escape, and an escape that gave nothing still moves
        // the walk on by one byte.
        ++i;
    }
    const int end = data.indexOf('\0');
    return QString::fromLatin1(data.constData(), end < 0 ? data.size() : end);
}

void TaviFuncTreeModel::buildFuncTree(const QStringList& lines, TaviFuncTreeItem* parent)
{
    // The open levels, innermost last, each with the indentation of the lines it receives.
    QVector<TaviFuncTreeItem*> parents{parent};
    QVector<int> indentations{0};
    for (const QString& line : lines) {
        const int position = leadingBlanks(line);
        const QString text = line.mid(position);
        if (text.isEmpty())
            continue;
        const QVariant entry = parseFuncLine(text);
        TaviFuncTreeItem* top = parents.last();
        if (position > indentations.last()) {
            // Deeper lines open at most one level, below the line before them.
            if (top->childCount() > 0) {
                parents.append(top->child(top->childCount() - 1));
                indentations.append(position);
            }
        } else {
            // The root's indentation is 0, so the root is never closed.
            while (position < indentations.last()) {
                parents.removeLast();
                indentations.removeLast();
            }
        }
        parents.last()->appendChild(new TaviFuncTreeItem({entry}, parents.last()));
    }
}

QVariant TaviFuncTreeModel::parseFuncLine(const QString& text)
{
    const QStringList parts = text.split(partSeparator);
    auto* entry = new TaviFuncType(this);
    entry->setFuncName(parts.first());
    entry->setFuncDesc(parts.value(1, parts.first()));
    return QVariant::fromValue(entry);
}

TaviFuncTreeItem* TaviFuncTreeModel::itemFor(const QModelIndex& index) const
{
    if (!index.isValid())
        return m_rootItem.get();
    return static_cast<TaviFuncTreeItem*>(index.internalPointer());
}

// The function catalogue from arbitrary resource bytes: the escapes are expanded, the tree is
// built, and the whole tree is walked through the model as its views walk it.
#include "FuzzInput.h"

#include "editor/TaviFuncTreeModel.h"
#include "editor/TaviFuncType.h"

#include <QStack>

namespace {

// The lines that hold more than blanks: one node each.
int textLines(const QString& text)
{
    int lines = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        int blanks = 0;
        while (blanks < line.size() && line.at(blanks) == QLatin1Char(' '))
            ++blanks;
        lines += blanks < line.size() ? 1 : 0;
    }
    return lines;
}

// Visits every node below the root once, checking that each index leads back to its parent.
int walk(const TaviFuncTreeModel& model)
{
    int nodes = 0;
    QStack<QModelIndex> open;
    open.push(QModelIndex());
    while (!open.isEmpty()) {
        const QModelIndex parent = open.pop();
        for (int row = 0; row < model.rowCount(parent); ++row) {
            const QModelIndex child = model.index(row, 0, parent);
            fuzz::require(child.isValid(), "every row has an index");
            fuzz::require(model.parent(child) == parent, "an index leads back to its parent");
            const auto* entry = model.data(child, TaviFuncTreeModel::TreeModelRoleName).value<TaviFuncType*>();
            fuzz::require(entry != nullptr, "every node holds an entry");
            ++nodes;
            open.push(child);
        }
        fuzz::require(!model.index(model.rowCount(parent), 0, parent).isValid(), "no index past the last row");
    }
    return nodes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray catalogue(reinterpret_cast<const char*>(data), int(size));
    QByteArray expanded = catalogue;
    const QString text = TaviFuncTreeModel::unescapeHexCodes(expanded);
    fuzz::require(expanded.size() <= catalogue.size(), "expanding escapes never grows the text");
    fuzz::require(!text.contains(QChar(0)), "the text ends at the first NUL");

    const TaviFuncTreeModel model(catalogue);
    fuzz::require(walk(model) == textLines(text), "one node per line of text");
    return 0;
}

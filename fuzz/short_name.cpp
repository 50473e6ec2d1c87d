// The calculator's short name of arbitrary local file names, taken as UTF-16 code units so
// that every character, lone surrogates included, can turn up.
#include "FuzzInput.h"

#include "link/CTaviCalc.h"

namespace {

constexpr int maxBase = 14;
constexpr int maxExtension = 3;
const QString forbidden = QStringLiteral("+\"\\*,/:;=<>?[]| ");

bool isAscii(const QString& s)
{
    for (QChar c : s) {
        if (c.unicode() > 0x7F)
            return false;
    }
    return true;
}

// A base of at most 14, then a dot and at most 3 when there is a dot.
bool fitsTheCalculator(const QString& name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return name.size() <= maxBase;
    return dot <= maxBase && name.size() - dot - 1 <= maxExtension;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString name(reinterpret_cast<const QChar*>(data), int(size / sizeof(QChar)));
    const QString shortName = CTaviCalc::convertToSfn(name);
    for (QChar c : forbidden)
        fuzz::require(!shortName.contains(c), "no blank and no character the calculator forbids");
    fuzz::require(!shortName.startsWith(QLatin1Char('.')), "no leading dot");
    fuzz::require(shortName.count(QLatin1Char('.')) <= 1, "at most one dot");
    // Also where upper-casing turns one letter into several.
    fuzz::require(fitsTheCalculator(shortName), "a base of 14, a dot and 3");
    if (isAscii(shortName))
        fuzz::require(CTaviCalc::convertToSfn(shortName) == shortName, "an ASCII short name is its own");
    // Whatever the name, the calculator stores one that converting again leaves as it is.
    const QString stored = CTaviCalc::storedFileName(name);
    fuzz::require(CTaviCalc::convertToSfn(stored) == stored, "the stored name is its own short name");
    fuzz::require(fitsTheCalculator(stored), "the stored name has a base of 14, a dot and 3");
    return 0;
}

// The calculator's short name of arbitrary local file names, taken as UTF-16 code units so
// that every character, lone surrogates included, can turn up.
#include "FuzzInput.h"

#include "link/CTaviCalc.h"

namespace {

constexpr int maxShortName = 14 + 1 + 3;
const QString forbidden = QStringLiteral("+\"\\*,/:;=<>?[]| ");

bool isAscii(const QString& s)
{
    for (QChar c : s) {
        if (c.unicode() > 0x7F)
            return false;
    }
    return true;
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
    // Only upper-casing, which turns a few characters into several, makes a name longer;
    // an ASCII name has none, and converting it again changes nothing.
    if (isAscii(shortName)) {
        fuzz::require(shortName.size() <= maxShortName, "a base of 14, a dot and 3");
        fuzz::require(CTaviCalc::convertToSfn(shortName) == shortName, "an ASCII short name is its own");
    }
    // Whatever the name, the calculator stores one that converting again leaves as it is.
    const QString stored = CTaviCalc::storedFileName(name);
    fuzz::require(CTaviCalc::convertToSfn(stored) == stored, "the stored name is its own short name");
    return 0;
}

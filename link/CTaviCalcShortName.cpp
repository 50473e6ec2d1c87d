#include "link/CTaviCalc.h"

namespace {

constexpr int maxBaseLength = 14;
constexpr int maxExtensionLength = 3;
const QString replacedCharacters = QStringLiteral("+\"\\*,/:;=<>?[]|");
constexpr QChar replacement = QLatin1Char('_');
constexpr QChar dot = QLatin1Char('.');
constexpr QChar deleteCharacter = QChar(0x7F);
// Characters whose low byte falls below this are control characters on the calculator.
constexpr int firstPrintableLowByte = 0x20;

// The calculator reads names as UTF-8 bytes of the Latin-1 text.
QString throughLatin1(const QString& s)
{
    QByteArray bytes = s.toLatin1();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromUtf8(bytes);
}

void removeControlCharacters(QString& s)
{
    s.remove(deleteCharacter);
    for (int i = s.size() - 1; i >= 0; --i) {
        if ((s.at(i).unicode() & 0xFF) < firstPrintableLowByte)
            s.remove(i, 1);
    }
}

void replaceForbidden(QString& s)
{
    for (QChar c : replacedCharacters)
        s.replace(c, replacement);
}

void removeLeadingDots(QString& s)
{
    int dots = 0;
    while (dots < s.size() && s.at(dots) == dot)
        ++dots;
    s.remove(0, dots);
}

// Cut after upper-casing: a few letters become several (U+00DF becomes "SS"), and the
// calculator takes no base beyond its length. An ASCII base comes out the same either way.
QString upperBase(const QString& base)
{
    return base.toUpper().left(maxBaseLength);
}

} // namespace

QString CTaviCalc::convertToSfn(QString fileName)
{
    fileName.remove(QLatin1Char(' '));
    QString s = throughLatin1(fileName);
    removeControlCharacters(s);
    replaceForbidden(s);
    removeLeadingDots(s);
    const int lastDot = s.lastIndexOf(dot);
    if (lastDot < 0)
        return upperBase(s);
    const QString extension = s.mid(lastDot + 1, maxExtensionLength);
    return upperBase(s.left(lastDot).remove(dot)) + dot + extension;
}

// A name beyond ASCII changes again with each conversion (an unknown letter becomes U+FFFD,
// which the next one turns into "_"), while an ASCII name stays as it is. The name stored
// is the one that no further conversion changes, so the name checked for collisions is the
// name the calculator ends up with.
QString CTaviCalc::storedFileName(QString fileName)
{
    QString name = convertToSfn(fileName);
    for (QString next = convertToSfn(name); next != name; next = convertToSfn(name))
        name = next;
    return name;
}

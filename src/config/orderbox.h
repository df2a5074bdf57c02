#pragma once

#include <QChar>
#include <QString>

// The key rule of the picture editing window's order-number box: only digits and backspace
// are typed into it.
namespace orderbox {

// Whether the box takes a typed character: "0" to "9" or backspace.
bool accepts(QChar typed);

// Whether a key press goes to the box without the rule: keys that type no character (arrows,
// Home, End), Delete (whose press carries DEL on some platforms), Tab and Backtab.
bool passesUnchecked(int qtKey, const QString &text);

// The characters a key press types as the rule sees them: the Backspace key types backspace,
// whatever text its press carries; any other key types its text.
QString typedCharacters(int qtKey, const QString &text);

// The part of typed text the box keeps: everything before the first character it refuses.
QString keptPart(const QString &typed);

} // namespace orderbox

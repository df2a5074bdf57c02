#pragma once

#include <QString>

// Setting the staff PIN from a terminal on the kiosk PC (quorvel-kiosk --set-pin), for the
// administrator: the kiosk itself opens no staff menu until a PIN is set.
namespace setpin {

// The program's command-line option.
QString option();

// Asks for the new PIN on the standard input twice (without echo when it is a terminal),
// checks it and writes its salted hash into opt.ini of settingsDir, keeping every other line of
// the file. The prompts and the result go to the standard output, refusals to the standard
// error, all in Chinese; the digits are never shown. Returns the program's exit code: 0 when the
// PIN was stored, 1 when nothing changed.
int runOnTerminal(const QString &settingsDir);

} // namespace setpin

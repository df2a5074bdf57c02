#pragma once

#include <QString>

// Texts for the error box that staff can act on. Messages of the database engine reach the box
// in English ("unable to open database file"); each known one is put after a Chinese sentence
// that says what happened and what to do, and the engine's own text stays for the technician.
namespace errortext {

// The line that introduces the engine's own text.
QString technicianPrefix();

// For a message that contains a known engine message (compared without regard to case): the
// Chinese explanation, a line break, technicianPrefix() and the message as given. Any other
// message is returned unchanged.
QString explained(const QString &message);

} // namespace errortext

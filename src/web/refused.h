#pragma once

#include <QString>

namespace web {

// A request the dashboard refuses, with its status and the Chinese reason; the service answers
// it as a page, a JSON error or plain text, depending on the route.
struct Refused
{
    int status;
    QString message;
};

} // namespace web

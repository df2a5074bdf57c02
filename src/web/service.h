#pragma once

#include "web/webauth.h"
#include "web/webdata.h"

#include <httplib.h>

#include <atomic>

// The dashboard's HTTP service: its routes over the central database, the accounts and the
// sessions. Runs on cpp-httplib's pool of worker threads; each request is answered from the
// database (a statement timeout bounds every wait), never with a 500.
namespace web {

class Service
{
public:
    Service(Central &central, Clock clock);

    // Binds host:port (port 0: any free port) and returns the bound port, or -1.
    int bind(const QString &host, int port);
    // Serves until stop() (from another thread or a signal handler's thread).
    bool run();
    void stop();

private:
    void routes();

    Central &m_central;
    Clock m_clock;
    SessionTable m_sessions;
    LoginGuard m_guard;
    httplib::Server m_server;
    std::atomic<bool> m_schemaReady{false};
};

} // namespace web

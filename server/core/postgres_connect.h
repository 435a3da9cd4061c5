// Opening a libpq connection with the server's bounds (postgres_database.cpp).
#pragma once

#include <libpq-fe.h>

#include <string>

namespace srv {

// Connects with the connect timeout, TCP keepalives and user timeout of the server's
// database bound (`timeout_seconds`); the connection string's own settings win. The
// caller checks PQstatus and frees the result with PQfinish.
PGconn* ConnectPostgres(const std::string& conninfo, int timeout_seconds);
// The same, started without waiting (PQconnectStartParams): the caller drives it with
// PQconnectPoll, and can give up at any step.
PGconn* StartPostgresConnection(const std::string& conninfo, int timeout_seconds);

}  // namespace srv
